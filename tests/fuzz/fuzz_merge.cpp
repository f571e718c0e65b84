// The merge path: any bytes as a source, merged after a copy of itself.
// Either a merged file or a failure the merge reports, never a crash, hang
// or leak.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "FuzzScratch.hpp"
#include "core/document/DocumentMerge.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzScratch scratch("penvora-fuzz-merge");
  const std::filesystem::path& dir = scratch.dir();
  std::filesystem::create_directories(dir / "out");
  const auto in = dir / "in.pdf";
  std::ofstream(in, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const auto result = penvora::core::document::mergeDocuments({in.string(), in.string()}, "u", (dir / "out").string());
  if (!result.path.empty()) std::filesystem::remove(result.path);
  return 0;
}
