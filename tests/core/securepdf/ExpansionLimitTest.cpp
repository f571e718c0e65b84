#include "core/document/PDFDocument.hpp"
#include "core/securepdf/ExpansionLimit.hpp"

#include <gtest/gtest.h>

#include <map>
#include <qpdf/QPDFWriter.hh>

#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/ObjectStreamList.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/BoundedFile.hpp"
#include "core/util/Hex.hpp"
#include "core/util/Zlib.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora::core::securepdf;
using pdftest::XrefStreamFile, testsupport::TempDir, testsupport::writeText, testsupport::readText;

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

// A document whose catalog lies in object stream 3, filtered by `filters`
// (`data` already encoded so), listed by a cross-reference stream.
std::string packedCatalog(const std::string& filters, const std::string& data) {
  std::string out = "%PDF-1.7\n", rows("\0\0\0\0\0\xFF\xFF\x02\0\0\0\x03\0\0", 14);
  auto row = [&] {
    rows += '\x01';
    for (int b = 3; b >= 0; --b) rows += static_cast<char>((out.size() >> (8 * b)) & 0xFF);
    rows += std::string(2, '\0');
  };
  row();
  out += "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
  row();
  out += "3 0 obj\n" + pdftest::stream("/Type /ObjStm /N 1 /First 4 /Filter " + filters, data) + "\nendobj\n";
  const std::size_t xref = out.size();
  row();
  return out + "4 0 obj\n" + pdftest::stream("/Type /XRef /Size 5 /W [1 4 2] /Root 1 0 R", rows) +
         "\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

std::string deflated(const std::string& data) { return penvora::core::util::zlibCompress(data, 9).value(); }

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
  // The screen's renderer reads a file alongside the page tree's parse
  // only once it has been measured.
  int measured = 0;
  const auto count = [&] { ++measured; };
  EXPECT_FALSE(penvora::core::document::PDFDocument::open((dir / "bomb.pdf").string(), nullptr, count));
  EXPECT_EQ(measured, 0);
  EXPECT_TRUE(penvora::core::document::PDFDocument::open((dir / "packed.pdf").string(), nullptr, count));
  EXPECT_EQ(measured, 1);
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

// Each way a cross-reference stream can hide what it inflates to, in a
// file read in memory and in one read where it lies alike.
TEST(ExpansionLimitTest, CrossReferenceBombsAreRefusedWhereverTheyHide) {
  TempDir dir;
  const std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"};
  // 70 MB of free entries in 70 kB.
  const std::string bomb = pdftest::buildPdfWithXrefStream(objects, 1, 10'000'000, true);
  const std::size_t dataAt = bomb.rfind(">>\nstream\n") + 10, dataEnd = bomb.rfind("\nendstream");
  const std::string bombXref =
      bomb.substr(bomb.rfind("startxref\n") + 10, bomb.find("\n%%EOF") - bomb.rfind("startxref\n") - 10);
  std::string hexBomb = bomb;  // behind a filter of another kind first
  hexBomb.replace(dataAt, dataEnd - dataAt,
                  penvora::core::util::hexEncode(std::string_view(bomb).substr(dataAt, dataEnd - dataAt)) + ">");
  // A reference in the parameters (null to qpdf here) must not stop the measuring.
  hexBomb.replace(hexBomb.rfind("/Filter /FlateDecode"), 20,
                  "/Filter [/ASCIIHexDecode /FlateDecode] /DecodeParms [null << /X 1 0 R >>]");
  // "endstream" written inside the data, in a stored block before the rest,
  // with a /Length that is right: qpdf reads by the /Length.
  std::string hidden = bomb;
  {
    const std::string deflated = bomb.substr(dataAt + 2, dataEnd - dataAt - 6);  // without zlib's header and sum
    const std::string data = std::string("\x78\x01\x00\x09\x00\xF6\xFF", 7) + "endstream" + deflated + "0000";
    hidden.replace(dataAt, dataEnd - dataAt, data);
    const auto length = hidden.rfind("/Length ", dataAt);
    hidden.replace(length + 8, hidden.find(' ', length + 8) - (length + 8), std::to_string(data.size()));
  }
  // A table with 19-byte entries, which qpdf accepts, naming the stream
  // as a hybrid file's /XRefStm.
  const std::string behindTable = bomb + "xref\n0 1\n0000000000 65535 f\ntrailer\n<< /Size 3 /Root 1 0 R /XRefStm " +
                                  bombXref + " >>\nstartxref\n" + std::to_string(bomb.size()) + "\n%%EOF\n";
  // A newer stream that is not deflated, its /Prev the bomb.
  std::string behindHex = bomb;
  {
    const std::size_t at = behindHex.size();
    std::string row("\x01\0\0\0\0\0\0", 7);
    for (int b = 3; b >= 0; --b) row[static_cast<std::size_t>(4 - b)] = static_cast<char>((at >> (8 * b)) & 0xFF);
    behindHex += "9 0 obj\n" +
                 pdftest::stream(
                     "/Type /XRef /Size 10 /Index [9 1] /W [1 4 2] /Root 1 0 R /Filter /ASCIIHexDecode "
                     "/Prev " +
                         bombXref,
                     penvora::core::util::hexEncode(row) + ">") +
                 "\nendobj\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
  }
  // Ways to leave the chain as written, which a reader repairing or
  // tolerating the file still finds its way around.
  std::string spacedStream = bomb;
  spacedStream.replace(dataAt - 7, 7, "stream   \n");
  const std::string commentedTail = bomb + "%startxref\n%%EOF\n";
  std::string escapedName = bomb;  // the same name to a reader
  escapedName.replace(escapedName.rfind("/Type /XRef"), 11, "/Type /XR#65f");
  const std::string escapedNameUnfollowed = escapedName + "%startxref\n%%EOF\n";
  std::string commentedTrailer = behindTable;
  commentedTrailer.insert(commentedTrailer.rfind("trailer"), "%trailer<<>>\n");
  // A "trailer" on an entry's line, which a reader takes as part of the entry.
  std::string trailerOnEntryLine = behindTable;
  trailerOnEntryLine.replace(trailerOnEntryLine.rfind("65535 f\n"), 8, "65535 f trailer<< /Size 1 >>\n");
  std::string referencedStream = behindTable;
  referencedStream.replace(referencedStream.rfind("/XRefStm ") + 9, bombXref.size(), "5 0 R");
  // 40 MB, within the limit once, named by two tables: qpdf inflates it
  // twice. Its rows are wide, and the file holds 2 MB, so that their number
  // is not what refuses it.
  auto roomy = objects;
  roomy.push_back(pdftest::stream("", std::string(2u << 20, ' ')));
  std::string half = pdftest::buildPdfWithXrefStream(roomy, 1, 5'700'000, true);
  half.replace(half.rfind("/W [1 4 2]"), 10, "/W [8 8 8]");
  // The same as five million rows of two bytes, from 10 kB: qpdf would
  // keep a table of them hundreds of megabytes long.
  std::string manyRows = pdftest::buildPdfWithXrefStream(objects, 1, 1'500'000, true);
  manyRows.replace(manyRows.rfind("/W [1 4 2]"), 10, "/W [1 1 0]");
  std::string namedTwice = half;
  {
    const std::string stream =
        half.substr(half.rfind("startxref\n") + 10, half.find("\n%%EOF") - half.rfind("startxref\n") - 10);
    std::string prev;
    for (int i = 0; i < 2; ++i) {
      const std::size_t xref = namedTwice.size();
      namedTwice += "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 3 /Root 1 0 R /XRefStm " + stream +
                    (prev.empty() ? "" : " /Prev " + prev) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
      prev = std::to_string(xref);
    }
  }
  // A hundred updates of 30 kB each: all legitimate.
  std::string updated = pdftest::plainPdf(1);
  for (int i = 0; i < 100; ++i) {
    const std::string prev = updated.substr(updated.rfind("startxref\n") + 10);
    const std::size_t object = updated.size();
    updated += "9 0 obj\n(" + std::string(30000, 'x') + ")\nendobj\n";
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", object);
    const std::size_t xref = updated.size();
    updated += "xref\n9 1\n" + std::string(entry) + "trailer\n<< /Size 10 /Root 1 0 R /Prev " +
               prev.substr(0, prev.find('\n')) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  }
  const struct {
    const char* name;
    std::string bytes;
    bool refused;
    const char* says = "decompression bomb";
  } cases[] = {{"stream", bomb, true},
               {"spacesAfterStream", spacedStream, true},
               {"commentedTail", commentedTail, true},
               {"escapedName", escapedName, true},
               {"escapedNameUnfollowed", escapedNameUnfollowed, true},
               {"commentedTrailer", commentedTrailer, true},
               {"trailerOnEntryLine", trailerOnEntryLine, true},
               {"referencedStream", referencedStream, true},
               {"manyUpdates", updated, false},
               {"namedOnce", half, false},
               {"manyRows", manyRows, true, "objects, more than a file of"},
               {"namedTwice", namedTwice, true},
               {"hexThenFlate", hexBomb, true},
               {"endstreamInside", hidden, true},
               {"behindTable", behindTable, true},
               {"behindHexStream", behindHex, true},
               {"table", pdftest::plainPdf(2), false},
               {"smallStream", pdftest::buildPdfWithXrefStream(objects, 1, 1000, true), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(dir / "in.pdf", c.bytes);
    const penvora::core::util::RegularFile file((dir / "in.pdf").string(), "test");
    if (c.refused) {
      EXPECT_THROW(checkCrossReferenceExpansion(file.fd(), file.size()), SecurePdfError);
      EXPECT_THROW(checkCrossReferenceExpansion(c.bytes), SecurePdfError);
      auto s = pdftest::signer(dir / "in.pdf", dir / "out.pdf");
      pdftest::expectFailure(s, c.says, dir.path());
    } else {
      EXPECT_NO_THROW(checkCrossReferenceExpansion(file.fd(), file.size()));
      EXPECT_NO_THROW(checkCrossReferenceExpansion(c.bytes));
    }
  }

  // Too large to be read into memory: signing reads it where it lies, and
  // still refuses it before qpdf inflates anything.
  auto padded = objects;
  padded.push_back(pdftest::stream("", std::string(40u << 20, ' ')));
  writeText(dir / "large.pdf", pdftest::buildPdfWithXrefStream(padded, 1, 10'000'000, true));
  auto s = pdftest::signer(dir / "large.pdf", dir / "out.pdf");
  pdftest::expectFailure(s, "cross-reference stream expands beyond", dir.path());
}

TEST(ExpansionLimitTest, ObjectStreamsBehindOtherFiltersAreMeasuredToo) {
  TempDir dir;
  const auto hexOfDeflated = [](std::size_t padding) {
    const std::string catalog = "1 0 << /Type /Catalog /Pages 2 0 R /Padding (" + std::string(padding, ' ') + ") >>";
    return penvora::core::util::hexEncode(penvora::core::util::zlibCompress(catalog, 9).value()) + ">";
  };
  writeText(dir / "fine.pdf", packedCatalog("[/ASCIIHexDecode /FlateDecode]", hexOfDeflated(1000)));
  writeText(dir / "bomb.pdf", packedCatalog("[/ASCIIHexDecode /FlateDecode]", hexOfDeflated(70u << 20)));
  const auto problem = [&](const char* name) {
    return testsupport::errorOf<SecurePdfError>([&] { (void)openForReading((dir / name).string(), ""); });
  };
  EXPECT_NE(problem("fine.pdf").find("no pages"), std::string::npos);  // read through, to what it lacks
  EXPECT_NE(problem("bomb.pdf").find("object stream 3 expands beyond"), std::string::npos);
}

// What a reader takes for a filter or a predictor, however it is written:
// a name spelt with # escapes, and a predictor whose rows qpdf would set
// aside before decoding a byte (two of 2 GB each, from a few bytes).
TEST(ExpansionLimitTest, EscapedNamesOddSpacesAndHugePredictorRowsDoNotSlipPast) {
  TempDir dir;
  const auto deflated = [](std::size_t padding) {
    const std::string catalog = "1 0 << /Type /Catalog /Pages 2 0 R /Padding (" + std::string(padding, ' ') + ") >>";
    return penvora::core::util::zlibCompress(catalog, 9).value();
  };
  std::string escaped = packedCatalog("/FlateDecode", deflated(70u << 20));
  const std::string asWritten = "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode";
  escaped.replace(escaped.find(asWritten), asWritten.size(), "/Type/ObjStm /N 1 /First 4 /F#69lter/FlateDecode");
  writeText(dir / "escaped.pdf", escaped);
  // A vertical tab, white space to qpdf's tokenizer, between key and value.
  std::string tabbed = packedCatalog("/FlateDecode", deflated(70u << 20));
  tabbed.replace(tabbed.find("/Filter /FlateDecode"), 20, "/Filter\v/FlateDecode");
  writeText(dir / "tabbed.pdf", tabbed);
  writeText(dir / "rows.pdf",
            packedCatalog("/FlateDecode /DecodeParms << /Predictor 12 /Columns 2000000000 >>", deflated(10)));
  const auto problem = [&](const char* name) {
    return testsupport::errorOf<SecurePdfError>([&] { (void)openForReading((dir / name).string(), ""); });
  };
  for (const char* name : {"escaped.pdf", "tabbed.pdf"})
    EXPECT_NE(problem(name).find("object stream 3 expands beyond"), std::string::npos) << name;
  EXPECT_NE(problem("rows.pdf").find("object stream 3 declares predictor rows of 2000000000 bytes"), std::string::npos);

  const std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"};
  std::string xref = pdftest::buildPdfWithXrefStream(objects, 1, 1000, true);
  xref.insert(xref.rfind("/Filter /FlateDecode") + 20, " /DecodeParms << /Predictor 12 /Columns 2000000000 >>");
  EXPECT_NE(testsupport::errorOf<SecurePdfError>([&] {
              checkCrossReferenceExpansion(xref);
            }).find("cross-reference stream declares predictor rows"),
            std::string::npos);
}

// Reading an object stream's dictionary resolves what it refers to, which
// inflates the object stream holding that: such streams are measured after
// the others, and two that describe each other are refused.
TEST(ExpansionLimitTest, ObjectStreamsDescribingOneAnotherAreRefused) {
  // Read from the file's own sections; from qpdf's table, when it warned
  // while opening (a spare row); and where the file lies, past 32 MB.
  auto described = [](bool spareRow, std::size_t padding) {
    XrefStreamFile f;
    f.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    const std::string in3 = "1 0 5 35 << /Type /Catalog /Pages 2 0 R >> 10";
    f.object(3, "<< /Type /ObjStm /N 2 /First 9 /Length 6 0 R >>\nstream\n" + in3 + "\nendstream");
    f.object(4, "<< /Type /ObjStm /N 1 /First 5 /Length 5 0 R >>\nstream\n6 0 " + std::to_string(in3.size()) +
                    "\nendstream");
    if (padding) f.out += "%" + std::string(padding, ' ') + "\n";
    f.row(0, 0, 0xFFFF);
    f.row(2, 3, 0);
    for (int n : {2, 3, 4}) f.listed(n);
    f.row(2, 3, 1);
    f.row(2, 4, 0);
    std::string out = f.finish(7, "/Size 8 /Root 1 0 R");
    if (spareRow) {
      const auto length = out.rfind("/Length 56");
      out.replace(length, 10, "/Length 63");
      out.insert(out.rfind("\nendstream"), std::string(7, '\0'));
      out.replace(out.rfind("startxref\n") + 10, std::string::npos, std::to_string(f.lastXref) + "\n%%EOF\n");
    }
    return out;
  };
  TempDir dir;
  for (const auto& [spare, padding] : {std::pair{false, 0u}, std::pair{true, 0u}, std::pair{false, 33u << 20}}) {
    writeText(dir / "described.pdf", described(spare, padding));
    EXPECT_NE(testsupport::errorOf<SecurePdfError>([&] {
                (void)openForReading((dir / "described.pdf").string(), "");
              }).find("object stream 3 is described by an object inside object stream 4, itself so described"),
              std::string::npos)
        << spare << " " << padding;
  }
}

// A table that misplaces one object makes qpdf rebuild it from the objects
// in the file, the last of each number winning: an object stream written
// again after the listed one, never measured, would then be inflated. The
// later one is found as qpdf's tokenizer reads it, and read from where qpdf
// starts its data; a file too large to be read into memory is read whole.
TEST(ExpansionLimitTest, ObjectStreamsARebuiltTableWouldReadAreMeasuredToo) {
  const std::string page = "6 0 << /Type /Page /Parent 2 0 R >>";
  auto document = [&](const std::string& later, const std::string& header = "4 0 obj",
                      const std::string& keyword = "stream\n", std::size_t padding = 0) {
    XrefStreamFile f;
    f.object(2, "<< /Type /Pages /Kids [6 0 R] /Count 1 >>");
    f.object(3, pdftest::stream("/Type /ObjStm /N 1 /First 4", "1 0 << /Type /Catalog /Pages 2 0 R >>"));
    f.object(4, pdftest::stream("/Type /ObjStm /N 1 /First 4", page));
    if (padding) f.out += "%" + std::string(padding, ' ') + "\n";
    std::string stream = pdftest::stream("/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", deflated(later));
    stream.replace(stream.find("stream\n"), 7, keyword);
    f.out += header + "\n" + stream + "\nendobj\n";
    f.row(0, 0, 0xFFFF);
    f.row(2, 3, 0);
    f.listed(2, 0, 3);  // misplaced
    f.listed(3);
    f.listed(4);
    f.row(0, 0, 0);
    f.row(2, 4, 0);
    return f.finish(7, "/Size 8 /Root 1 0 R");
  };
  TempDir dir;
  writeText(dir / "damaged.pdf", document(page + " "));
  EXPECT_EQ(pageAt(*openForReading((dir / "damaged.pdf").string(), ""), 0)->getKey("/Type").getName(), "/Page");

  const std::string bomb = "6 0 << /Type /Page /Parent 2 0 R /Rotate 90 >>" + std::string(70u << 20, ' ');
  const std::vector<std::pair<std::string, std::string>> hidden = {
      {"plain.pdf", document(bomb)},
      {"signed-number.pdf", document(bomb, "+4 0 obj")},
      {"vertical-tabs.pdf", document(bomb, "4\v0\vobj")},
      {"spaces-after-stream.pdf", document(bomb, "4 0 obj", "stream \t\r\n")}};
  for (const auto& [name, bytes] : hidden) {
    writeText(dir / name, bytes);
    EXPECT_NE(testsupport::errorOf<SecurePdfError>([&] {
                (void)openForReading((dir / name).string(), "");
              }).find("object stream 4 expands beyond 64 MB"),
              std::string::npos)
        << name;
  }
  // qpdf keeps an object stream it has read: once each was measured, and so
  // read, a rebuilt table leaves it in place (a file read where it lies
  // relies on that alone). The page is the listed stream's, not the bomb's.
  writeText(dir / "large.pdf", document(bomb, "4 0 obj", "stream\n", 33u << 20));
  EXPECT_FALSE(pageAt(*openForReading((dir / "large.pdf").string(), ""), 0)->hasKey("/Rotate"));
}

// qpdf reads an object stream as generation 0, whatever a newer section
// lists under another generation; and listed streams holding more bytes
// than the file are refused.
TEST(ExpansionLimitTest, ObjectStreamsAreMeasuredAsQpdfReadsThemAndTogether) {
  TempDir dir;
  XrefStreamFile f;
  f.object(2, "<< /Type /Pages /Kids [6 0 R] /Count 1 >>");
  f.object(3, pdftest::stream("/Type /ObjStm /N 1 /First 4", "1 0 << /Type /Catalog /Pages 2 0 R >>"));
  const std::string page = "6 0 << /Type /Page /Parent 2 0 R >>";
  f.object(4, pdftest::stream("/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode",
                              deflated(page + std::string(70u << 20, ' '))));
  f.row(0, 0, 0xFFFF);
  f.row(2, 3, 0);
  for (int n : {2, 3, 4}) f.listed(n);
  f.row(0, 0, 0);
  f.row(2, 4, 0);
  f.finish(7, "/Size 8 /Root 1 0 R");
  f.object(4, pdftest::stream("/Type /ObjStm /N 1 /First 4", page), 1);  // what a reader of the text sees
  f.listed(4, 1);
  writeText(dir / "generations.pdf",
            f.finish(8, "/Size 9 /Index [4 1 8 1] /Root 1 0 R /Prev " + std::to_string(f.lastXref)));
  EXPECT_NE(testsupport::errorOf<SecurePdfError>([&] {
              (void)openForReading((dir / "generations.pdf").string(), "");
            }).find("object stream 4 expands beyond"),
            std::string::npos);

  // Two streams listed inside one another: each small alone, but streams
  // made to overlap would be inflated once each.
  XrefStreamFile nested;
  nested.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  nested.object(3, "null");
  const std::string inner =
      "5 0 obj\n" +
      pdftest::stream("/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode",
                      deflated("1 0 << /Type /Catalog /Pages 2 0 R >>") + std::string(10000, 'x')) +
      "\nendobj\n";
  nested.object(4, pdftest::stream("/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", inner));
  nested.row(0, 0, 0xFFFF);
  nested.row(2, 5, 0);
  for (int n : {2, 3, 4}) nested.listed(n);
  nested.row(1, nested.at.at({4, 0}) + nested.out.substr(nested.at.at({4, 0})).find("5 0 obj"), 0);
  nested.row(2, 4, 0);
  writeText(dir / "nested.pdf", nested.finish(7, "/Size 8 /Root 1 0 R"));
  const std::string overlapError =
      testsupport::errorOf<SecurePdfError>([&] { (void)openForReading((dir / "nested.pdf").string(), ""); });
  EXPECT_NE(overlapError.find("object streams overlap one another"), std::string::npos) << overlapError;
}
