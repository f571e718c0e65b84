// Inputs the fuzzers once found trouble with, replayed on every run.
#include <gtest/gtest.h>

#include "core/engine/ESS.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/util/Base64.hpp"
#include "core/util/Pkcs12.hpp"
#include "penvora/JsonDecoding.hpp"
#include "support/TestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
using namespace penvora::core::util;
namespace engine = penvora::core::engine;
namespace fs = std::filesystem;

namespace {
std::vector<std::string> inputs(const std::string& target) {
  std::vector<std::string> out;
  const fs::path dir = fs::path(PENVORA_SOURCE_DIR) / "tests/fuzz/regressions" / target;
  if (fs::exists(dir))
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(testsupport::readText(e.path()));
  return out;
}
}  // namespace

TEST(FuzzRegressions, ReplayWithoutCrashing) {
  testsupport::CapturedLog quiet;
  for (const auto& in : inputs("pkcs12")) EXPECT_FALSE(pkcs12Opens(toBytes(in), "password"));
  for (const auto& in : inputs("record")) {
    ESSUtils::pointsToBinary(ESSUtils::split(in, '\n'));
    engine::ESS::protectRecord(core::util::base64Encode(in), std::nullopt);
  }
  for (const auto& in : inputs("params_json"))
    testsupport::errorOf<DecodingError>([&] { decodeJson<PenvoraSDKParams>(in); });
}
