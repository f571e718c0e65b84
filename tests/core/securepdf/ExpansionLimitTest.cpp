#include "core/securepdf/ExpansionLimit.hpp"

#include <gtest/gtest.h>
#include <qpdf/QPDFWriter.hh>

#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora::core::securepdf;
using testsupport::TempDir, testsupport::writeText;

namespace {

// The catalog, holding `padding` spaces, packed into a compressed object stream.
void writePacked(const std::filesystem::path& to, const std::filesystem::path& from, std::size_t padding) {
  QPDF pdf;
  pdf.processFile(from.c_str());
  pdf.getRoot().replaceKey("/Padding", QPDFObjectHandle::newString(std::string(padding, ' ')));
  QPDFWriter w(pdf, to.c_str());
  w.setObjectStreamMode(qpdf_o_generate);
  w.write();
}

}  // namespace

TEST(ExpansionLimitTest, AnObjectStreamThatWouldExpandTooFarIsRefusedBeforeAnythingInflatesIt) {
  TempDir dir;
  writeText(dir / "plain.pdf", pdftest::plainPdf(2));
  writePacked(dir / "packed.pdf", dir / "plain.pdf", 1000);
  auto pdf = openForReading((dir / "packed.pdf").string(), "");  // within the default limit
  EXPECT_THROW(checkObjectStreamExpansion(*pdf, {100, 2}), SecurePdfError);
  EXPECT_NO_THROW(checkObjectStreamExpansion(*pdf, {1 << 20, 2}));

  // 70 MB from a few kilobytes: signing stops before qpdf inflates it.
  writePacked(dir / "bomb.pdf", dir / "plain.pdf", 70u << 20);
  auto s = pdftest::signer(dir / "bomb.pdf", dir / "out.pdf");
  pdftest::expectFailure(s, "decompression bomb", dir.path());
}
