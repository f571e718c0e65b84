// The page tree regrouped for reading: any bytes as a document. Either
// nothing, or a section after which qpdf finds the very pages it finds in
// the bytes alone; never a crash, hang or leak.
#include <qpdf/QPDF.hh>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/securepdf/JoinedInputSource.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/PageTreeRegrouping.hpp"

namespace {

// The pages qpdf finds reading `bytes` then `section`, as signing reads
// them; nothing when it warns or refuses.
std::optional<std::vector<QPDFObjGen>> pagesOf(const std::string& bytes, const std::string& section = "") {
  try {
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processInputSource(std::make_shared<penvora::core::securepdf::JoinedInputSource>("fuzz", bytes, section));
    std::vector<QPDFObjGen> pages;
    for (auto& p : pdf.getAllPages()) pages.push_back(p.getObjGen());
    if (!pages.empty()) {
      (void)penvora::core::securepdf::pageAt(pdf, pages.size() - 1);
      (void)penvora::core::securepdf::pageCount(pdf);
    }
    if (pdf.anyWarnings()) return std::nullopt;
    return pages;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // From two kids, so short inputs reach the regrouping.
  const auto regrouped = penvora::core::securepdf::regroupFlatPageTree(bytes, 2);
  if (!regrouped) return 0;
  const auto seen = pagesOf(bytes, regrouped->section);
  if (!seen) return 0;  // signing then reads the bytes alone
  const auto original = pagesOf(bytes);
  if (original && *original != *seen) std::abort();
  return 0;
}
