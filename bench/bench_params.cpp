// Decoding a request: the time must grow with the request's length, not
// its square (a host may send long lists).
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "penvora/JsonDecoding.hpp"

namespace {

std::string requestWithTexts(std::int64_t count) {
  std::ifstream in(std::string(PENVORA_SOURCE_DIR) + "/examples/request-float.json");
  std::stringstream whole;
  whole << in.rdbuf();
  std::string text = whole.str();
  std::string list = "[";
  for (std::int64_t i = 0; i < count; ++i) list += std::string(i ? "," : "") + "{\"fontSize\": 8, \"text\": \"line\"}";
  list += "]";
  const auto at = text.find("\"widgetCustomText\"");
  const auto open = text.find('[', at), close = text.find(']', open);
  return text.replace(open, close - open + 1, list);
}

void BM_DecodeRequestWithTexts(benchmark::State& state) {
  const std::string text = requestWithTexts(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(penvora::decodeJson<penvora::PenvoraSDKParams>(text));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DecodeRequestWithTexts)
    ->RangeMultiplier(8)
    ->Range(1 << 10, 1 << 19)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
