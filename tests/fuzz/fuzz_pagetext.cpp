// The page text runs read for the text search: any bytes as a PDF, every
// page's runs (content streams, fonts, ToUnicode maps, forms). Runs or
// "cannot tell", never a crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "FuzzScratch.hpp"
#include "core/document/PDFDocument.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzScratch scratch("penvora-fuzz-pagetext");
  const std::filesystem::path file = scratch.dir() / "in.pdf";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const auto document = penvora::core::document::PDFDocument::open(file.string());
  if (!document) return 0;
  for (std::size_t page = 0; page < document->pageCount() && page < 64; ++page) (void)document->pageTextRuns(page);
  return 0;
}
