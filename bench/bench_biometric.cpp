// Biometric record costs: writing a 10,000-point record, and protecting it
// (SDI layout, zlib, AES-256 + RSA envelope).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "core/capture/BiometricRecordWriter.hpp"
#include "core/engine/ESS.hpp"
#include "penvora/Log.hpp"

using namespace penvora;
using namespace penvora::core::capture;
using namespace penvora::core::engine;

namespace {

BiometricRecordInputs inputs(int points) {
  BiometricRecordInputs in;
  in.screenWidth = 1280;
  in.screenHeight = 800;
  in.canvasFrame = Rect{20, 100, 600, 400};
  in.timeStart = std::chrono::system_clock::now();
  in.timeEnd = in.timeStart + std::chrono::seconds(20);
  in.documentPath = "/proc/self/exe";  // some real bytes to digest
  in.deviceModel = "bench";
  in.systemVersion = "1";
  in.cpuDescription = "-1:UNDEFINED";
  const int perStroke = 200;
  for (int s = 0; s < points / perStroke; ++s) {
    CapturedStroke stroke{1.0e12 + s * 1500.0, {}};
    for (int i = 0; i < perStroke; ++i)
      stroke.points.push_back({300 + 250 * std::sin(i * 0.05 + s), 200 + 150 * std::cos(i * 0.07), i * 0.004});
    in.strokes.push_back(std::move(stroke));
  }
  return in;
}

void BM_WriteRecord10k(benchmark::State& state) {
  auto in = inputs(10000);
  in.documentPath = "/nonexistent";  // the digest is measured on its own below
  penvora::setLogSink([](std::string_view) {});
  for (auto _ : state) benchmark::DoNotOptimize(BiometricRecordWriter::buildRecord(in));
  state.counters["points/s"] = benchmark::Counter(10000.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WriteRecord10k)->Unit(benchmark::kMillisecond);

void BM_ProtectRecord10k(benchmark::State& state) {
  auto in = inputs(10000);
  in.documentPath = "/nonexistent";
  penvora::setLogSink([](std::string_view) {});
  const std::string b64 = BiometricRecordWriter::encodeRecord(BiometricRecordWriter::buildRecord(in));
  for (auto _ : state) benchmark::DoNotOptimize(core::engine::ESS::protectRecord(b64, std::nullopt));
  state.counters["points/s"] = benchmark::Counter(10000.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ProtectRecord10k)->Unit(benchmark::kMillisecond);

void BM_SummaryAndProtect10k(benchmark::State& state) {
  auto in = inputs(10000);
  in.documentPath = "/nonexistent";
  penvora::setLogSink([](std::string_view) {});
  const std::string b64 = BiometricRecordWriter::encodeRecord(BiometricRecordWriter::buildRecord(in));
  for (auto _ : state) {
    benchmark::DoNotOptimize(core::engine::ESS::recordSummary(b64));
    benchmark::DoNotOptimize(core::engine::ESS::protectRecord(b64, std::nullopt));
  }
}
BENCHMARK(BM_SummaryAndProtect10k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
