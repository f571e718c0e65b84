// What a tablet user waits for after Accept: ESS::signDocuments inside one
// process (default identity, a 2,000-point protected record, a picture in
// a fixed box), on a 1-page and a 500-page document. No network.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "BenchDocuments.hpp"
#include "core/capture/BiometricRecordWriter.hpp"
#include "core/engine/ESS.hpp"
#include "core/engine/LogoImage.hpp"
#include "core/util/Base64.hpp"
#include "penvora/Log.hpp"
#include "penvora/PenvoraSDKParams.hpp"

using namespace penvora;
namespace fs = std::filesystem;

namespace {

std::string fileText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string recordFor(const fs::path& document) {
  core::capture::BiometricRecordInputs in;
  in.screenWidth = 1280;
  in.screenHeight = 800;
  in.canvasFrame = Rect{20, 100, 600, 400};
  in.timeStart = std::chrono::system_clock::now();
  in.timeEnd = in.timeStart + std::chrono::seconds(8);
  in.documentPath = document.string();
  in.deviceModel = "bench";
  in.systemVersion = "1";
  in.cpuDescription = "-1:UNDEFINED";
  for (int s = 0; s < 10; ++s) {
    core::capture::CapturedStroke stroke{1.0e12 + s * 800.0, {}};
    for (int i = 0; i < 200; ++i)
      stroke.points.push_back({300 + 250 * std::sin(i * 0.05 + s), 200 + 150 * std::cos(i * 0.07), i * 0.004});
    in.strokes.push_back(std::move(stroke));
  }
  return core::capture::BiometricRecordWriter::encodeRecord(core::capture::BiometricRecordWriter::buildRecord(in));
}

void BM_SignDocuments(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const fs::path home = fs::temp_directory_path() / ("penvora-bench-engine-" + std::to_string(getpid()));
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  const fs::path input = home / "in.pdf";
  bench::writeTextPages(input, pages, "Penvora benchmark page", true);
  penvora::setLogSink([](std::string_view) {});

  PenvoraSDKParams params;
  params.fileProperties->documentUris = {input.string()};
  params.fileProperties->author = "Bench Signer";
  params.fileProperties->reason = "Benchmark";
  params.certificate->encKeyB64 =
      core::util::base64Encode(fileText(fs::path(PENVORA_SOURCE_DIR) / "tests/fixtures/pki/test-bio-encryption.pem"));
  params.widget->widgetType = PenvoraSDKWidgetType::fixed;
  ESSParams ess;
  const auto picture = core::engine::logoJpeg(1.0);
  ess.jpgB64 = picture ? core::util::base64Encode(*picture) : std::string();
  ess.bounds = {100, 150, 200, 80};
  ess.page = 1;
  ess.pointsB64 = recordFor(input);

  for (auto _ : state) {
    const auto out = core::engine::ESS::signDocuments(params, ess);
    if (out.size() != 1) state.SkipWithError("signing failed");
    state.PauseTiming();
    for (const auto& f : out) fs::remove(f);
    state.ResumeTiming();
  }
  fs::remove_all(home);
}
BENCHMARK(BM_SignDocuments)->ArgName("pages")->Arg(1)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
