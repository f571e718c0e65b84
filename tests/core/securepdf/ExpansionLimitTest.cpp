#include "core/securepdf/ExpansionLimit.hpp"

#include <gtest/gtest.h>
#include <qpdf/QPDFWriter.hh>

#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/ObjectStreamList.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora::core::securepdf;
using testsupport::TempDir, testsupport::writeText, testsupport::readText;

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
  EXPECT_THROW(checkObjectStreamExpansion(*pdf, {}, {100, 2}), SecurePdfError);
  EXPECT_NO_THROW(checkObjectStreamExpansion(*pdf, {}, {1 << 20, 2}));

  // 70 MB from a few kilobytes: signing stops before qpdf inflates it.
  writePacked(dir / "bomb.pdf", dir / "plain.pdf", 70u << 20);
  auto s = pdftest::signer(dir / "bomb.pdf", dir / "out.pdf");
  pdftest::expectFailure(s, "decompression bomb", dir.path());
}

// Object streams are found from the cross-reference streams along the
// whole /Prev chain, as qpdf's table lists them; a stream whose /Length
// says less than it holds is still measured by what it holds.
TEST(ExpansionLimitTest, ObjectStreamsAreFoundInEveryRevisionAndMeasuredByTheirRealLength) {
  TempDir dir;
  writeText(dir / "plain.pdf", pdftest::plainPdf(3));
  writePacked(dir / "packed.pdf", dir / "plain.pdf", 10);
  pdftest::signer(dir / "packed.pdf", dir / "signed.pdf").sign();  // an update with its own xref stream
  const std::string signedBytes = readText(dir / "signed.pdf");
  auto pdf = openForReading((dir / "signed.pdf").string(), "");
  const auto tail = readXrefTail(signedBytes);
  ASSERT_TRUE(tail);
  const auto sections = CrossReferenceSections::read(signedBytes, tail->startxref);
  ASSERT_TRUE(sections);
  const auto listed = objectStreamsFromXref(*pdf, *sections);
  ASSERT_TRUE(listed);
  EXPECT_FALSE(listed->empty());
  EXPECT_EQ(*listed, objectStreamsFromTable(*pdf));

  writePacked(dir / "bomb.pdf", dir / "plain.pdf", 70u << 20);
  std::string bomb = readText(dir / "bomb.pdf");
  const auto objStm = bomb.find("/Type /ObjStm");
  ASSERT_NE(objStm, std::string::npos);
  const auto dictStart = bomb.rfind("<<", objStm);
  const auto length = bomb.find("/Length ", dictStart);
  ASSERT_LT(length, bomb.find(">>", objStm));
  const auto digits = bomb.find_first_not_of("0123456789", length + 8) - (length + 8);
  bomb.replace(length + 8, digits, std::string(digits, '1'));  // far less than it holds
  QPDF lying;
  lying.setSuppressWarnings(true);
  lying.processMemoryFile("lying", bomb.data(), bomb.size());
  EXPECT_THROW(checkObjectStreamExpansion(lying, bomb), SecurePdfError);
}
