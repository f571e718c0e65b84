#include "core/securepdf/PageTreeRegrouping.hpp"

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/ExpansionLimit.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/JoinedInputSource.hpp"
#include "core/securepdf/ObjectTextReader.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/ReadingSubset.hpp"
#include "core/securepdf/SignatureFieldList.hpp"
#include "core/securepdf/SignatureFieldPlacement.hpp"
#include "support/PdfTestSupport.hpp"

namespace {

using namespace penvora::core::securepdf;
using testsupport::TempDir;

// `pages` pages, all kids of the root, which gives them /Rotate 90; with
// `objectStreams` rewritten by qpdf into object streams and a
// cross-reference stream, else as written here, with a table.
// With `catalogIsTree`, the catalog is the page tree's root too; with
// `fieldOnPage`, an empty signature field sits on that page; `padding`
// objects make the table as long as a longer document's.
std::string longDocument(int pages, bool objectStreams, bool catalogIsTree = false, int fieldOnPage = -1,
                         int padding = 0, bool widgetNamesItsPage = true) {
  // The page tree and the catalog come last, as numbers a reader has to
  // look up.
  std::vector<std::string> o{pdftest::stream("", "BT /F1 18 Tf 72 700 Td (x) Tj ET")};
  const std::string tree = std::to_string(pages + (catalogIsTree ? 3 : 2));
  std::string kids;
  const std::string widget = std::to_string(pages + 4);
  for (int i = 0; i < pages; ++i) {
    kids += std::to_string(2 + i) + " 0 R ";
    o.push_back("<< /Type /Page /Parent " + tree + " 0 R /MediaBox [0 0 612 792] /Contents 1 0 R" +
                (i == fieldOnPage ? " /Annots [" + widget + " 0 R]" : "") + " >>");
  }
  const std::string node = "/Kids [" + kids + "] /Count " + std::to_string(pages) + " /Rotate 90";
  o.push_back(catalogIsTree ? "<< >>" : "<< /Type /Pages " + node + " >>");
  std::string form = fieldOnPage >= 0 ? " /AcroForm << /Fields [" + widget + " 0 R] >>" : "";
  // A chain from the catalog, so that a rewrite keeps it.
  const int firstPad = pages + 5;
  if (padding > 0) form += " /Pad " + std::to_string(firstPad) + " 0 R";
  o.push_back(catalogIsTree ? "<< /Pages " + tree + " 0 R " + node + " >>"
                            : "<< /Type /Catalog /Pages " + tree + " 0 R" + form + " >>");
  if (fieldOnPage >= 0)
    o.push_back("<< /Type /Annot /Subtype /Widget /FT /Sig /T (Approval) /Rect [72 72 272 132] /F 4" +
                (widgetNamesItsPage ? " /P " + std::to_string(2 + fieldOnPage) + " 0 R" : "") + " >>");
  if (fieldOnPage < 0 && padding > 0) o.push_back("null");  // the widget's number
  for (int i = 0; i < padding; ++i)
    o.push_back(i + 1 < padding ? "<< /Next " + std::to_string(firstPad + i + 1) + " 0 R >>" : "<< >>");
  const std::string plain = pdftest::buildPdf(o, pages + 3);
  if (!objectStreams) return plain;
  QPDF pdf;
  pdf.processMemoryFile("long", plain.data(), plain.size());
  QPDFWriter w(pdf);
  w.setOutputMemory();
  w.setObjectStreamMode(qpdf_o_generate);
  w.write();
  auto b = w.getBufferSharedPointer();
  return std::string(reinterpret_cast<const char*>(b->getBuffer()), b->getSize());
}

// qpdf reads `bytes`, then `section`, in place, as signing does: they
// must outlive the result.
std::unique_ptr<QPDF> open(const std::string& bytes, const std::string& section = "") {
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  pdf->processInputSource(std::make_shared<JoinedInputSource>("test", bytes, section));
  return pdf;
}

std::vector<QPDFObjGen> pageIds(QPDF& pdf) {
  std::vector<QPDFObjGen> ids;
  for (auto& p : pdf.getAllPages()) ids.push_back(p.getObjGen());
  return ids;
}

}  // namespace

// qpdf reading through the regrouped tree finds the same pages in the same
// order, by its own reading and by the walk signing uses, and the pages
// still inherit from the root.
TEST(PageTreeRegroupingTest, QpdfFindsTheSamePagesThroughTheRegroupedTree) {
  for (const bool objectStreams : {true, false}) {
    SCOPED_TRACE(objectStreams ? "object streams" : "table");
    const std::string bytes = longDocument(1500, objectStreams);
    const auto regrouped = regroupFlatPageTree(bytes);
    ASSERT_TRUE(regrouped);
    auto original = open(bytes), seen = open(bytes, regrouped->section);
    EXPECT_FALSE(seen->anyWarnings());
    EXPECT_EQ(seen->getRoot().getKey("/Pages").getObjGen(), regrouped->root);
    for (const std::size_t i : {0, 777, 1499}) {
      const auto page = pageAt(*seen, i);
      ASSERT_TRUE(page);
      EXPECT_EQ(page->getObjGen(), original->getAllPages()[i].getObjGen()) << i;
      EXPECT_EQ(pageRotation(*page), 90) << i;
    }
    EXPECT_FALSE(pageAt(*seen, 1500));
    EXPECT_EQ(pageCount(*seen), 1500u);
    EXPECT_FALSE(seen->anyWarnings());
    EXPECT_EQ(pageIds(*seen), pageIds(*original));
    EXPECT_EQ(seen->getTrailer().getKey("/Root").getObjGen(), original->getTrailer().getKey("/Root").getObjGen());
  }
}

// Short trees, counts that disagree, kids that are not references, a
// catalog that is its own page tree and encrypted files are read by qpdf as they are (damaged bytes: the
// pagetree fuzz target).
TEST(PageTreeRegroupingTest, LeavesOtherTreesAsTheyAre) {
  EXPECT_FALSE(regroupFlatPageTree(longDocument(1000, true)));
  const std::string table = longDocument(1500, false);
  ASSERT_TRUE(regroupFlatPageTree(table));
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = table;
    const auto at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return s.replace(at, from.size(), to);
  };
  EXPECT_FALSE(regroupFlatPageTree(replaced("/Count 1500", "/Count 1501")));
  EXPECT_FALSE(regroupFlatPageTree(replaced("[2 0 R", "[null ")));
  EXPECT_FALSE(regroupFlatPageTree(replaced("/Type /Pages", "/Type /Page ")));
  EXPECT_FALSE(regroupFlatPageTree(longDocument(1500, false, true)));  // an update must not redefine the catalog

  TempDir dir;
  testsupport::writeText(dir / "in.pdf", table);
  EXPECT_FALSE(regroupFlatPageTree(testsupport::readText(pdftest::encrypted(dir / "in.pdf", "u"))));
}

// An object stream whose header names the root twice: qpdf takes the last
// pair, other readers the entry's place, so the regrouping reads neither.
TEST(PageTreeRegroupingTest, ARootNamedTwiceInItsObjectStreamIsLeftToQpdf) {
  for (const bool twice : {false, true}) {
    std::string kids;
    for (int n = 4; n < 1104; ++n) kids += std::to_string(n) + " 0 R ";
    const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >> ",
                      root = "<< /Type /Pages /Kids [" + kids + "] /Count 1100 >> ";
    std::string header = "1 0 2 " + std::to_string(catalog.size());
    if (twice) header += " 2 " + std::to_string(catalog.size() + root.size());
    header += ' ';
    pdftest::XrefStreamFile f;
    f.object(3, pdftest::stream(
                    "/Type /ObjStm /N " + std::string(twice ? "3" : "2") + " /First " + std::to_string(header.size()),
                    header + catalog + root + (twice ? root : "")));
    for (int n = 4; n < 1104; ++n) f.object(n, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    f.row(0, 0, 0xFFFF);
    f.row(2, 3, 0);
    f.row(2, 3, 1);
    for (int n = 3; n < 1104; ++n) f.listed(n);
    EXPECT_EQ(regroupFlatPageTree(f.finish(1104, "/Size 1105 /Root 1 0 R")).has_value(), !twice);
  }
}

// A file whose /Size is too small may use numbers past it: the new nodes
// are numbered past those too, so none hides an object of the file.
TEST(PageTreeRegroupingTest, NewNodesHideNoObjectOfTheFile) {
  std::string bytes = longDocument(1500, false);
  const std::string prev = bytes.substr(bytes.rfind("startxref\n") + 10);
  const int high = 1504 + (1 << 20) + 3;  // /Size is 1504
  const std::size_t at = bytes.size() + 1;
  bytes += "\n" + std::to_string(high) + " 0 obj\n<< /X 1 >>\nendobj\n";
  const std::size_t xref = bytes.size();
  char entry[32];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", at);
  bytes += "xref\n" + std::to_string(high) + " 1\n" + entry + "trailer\n<< /Size 1504 /Root 1503 0 R /Prev " +
           std::to_string(std::stoul(prev)) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  const auto regrouped = regroupFlatPageTree(bytes);
  ASSERT_TRUE(regrouped);
  EXPECT_GT(regrouped->firstNode, high);
  auto seen = open(bytes, regrouped->section);
  EXPECT_EQ(seen->getObjectByID(high, 0).getKey("/X").getIntValue(), 1);
}

// Signing a page of a long document: the update follows the original, is
// numbered from its /Size, and carries none of the regrouped tree.
TEST(PageTreeRegroupingTest, SigningALongDocumentWritesNoneOfTheRegrouping) {
  TempDir dir;
  const std::string bytes = longDocument(1500, true, false, -1, 20000);
  testsupport::writeText(dir / "in.pdf", bytes);
  const auto regrouped = regroupFlatPageTree(bytes);
  ASSERT_TRUE(regrouped);

  // Page 1400 is the one the opening was asked for; page 700 is asked of
  // it later, so the signer reads the document again with its whole table.
  for (const int wanted : {1400, 700}) {
    SCOPED_TRACE(wanted);
    auto s = pdftest::signer(dir / "in.pdf", dir / "out.pdf");
    s.signatureWidgetPages = "1400";
    s.overwrite = true;
    s.open();
    s.signatureWidgetPages = std::to_string(wanted);
    EXPECT_TRUE(s.hasPage(wanted));
    s.sign();
    EXPECT_EQ(pdftest::pdfsigValidations(dir / "out.pdf"), std::vector<std::string>{"Signature is Valid."});
    EXPECT_TRUE(pdftest::qpdfCheckClean(dir / "out.pdf"));

    const std::string out = testsupport::readText(dir / "out.pdf");
    ASSERT_EQ(out.compare(0, bytes.size(), bytes), 0);
    auto pdf = open(out);
    const long long size = pdf->getTrailer().getKey("/Size").getIntValue();
    EXPECT_GT(size, regrouped->originalObjectCount);
    EXPECT_LT(size, regrouped->originalObjectCount + 20);
    // The root is still where the original keeps it, and the widget is on
    // the page asked for.
    EXPECT_EQ(pdf->getXRefTable().at(regrouped->root).getType(), 2);
    QPDFObjectHandle page = pdf->getAllPages()[static_cast<std::size_t>(wanted)];
    QPDFObjectHandle annots = page.getKey("/Annots");
    ASSERT_TRUE(annots.isArray());
    EXPECT_TRUE(annots.getArrayItem(0).getKey("/FT").isNameAndEquals("/Sig"));
  }
}

// qpdf enters every object of a table into its own before reading any:
// a long document is read through a section listing only what signing
// reads, and again with the whole table as soon as more was read.
TEST(PageTreeRegroupingTest, ALongDocumentIsReadThroughWhatSigningReadsAndWholeOnceItReadsMore) {
  TempDir dir;
  for (const bool objectStreams : {true, false}) {
    SCOPED_TRACE(objectStreams ? "object streams" : "table");
    const std::string bytes = longDocument(1500, objectStreams);
    const std::string path = dir / "in.pdf";
    testsupport::writeText(path, bytes);
    auto original = open(bytes);
    DocumentSource src = openForUpdate(path, "", nullptr, SubsetRequest{{}, 0});
    // A table qpdf may read otherwise than the text says (it warns of
    // space before "xref", say): only when qpdf reads it itself.
    if (!objectStreams) {
      EXPECT_FALSE(src.regrouped && src.regrouped->subset);
      continue;
    }
    ASSERT_TRUE(src.regrouped && src.regrouped->subset);
    EXPECT_LT(src.pdf->getXRefTable().size(), 1000u);
    // The first page, and the page count (its last page), as signing asks.
    EXPECT_EQ(pageAt(*src.pdf, 0)->getObjGen(), original->getAllPages()[0].getObjGen());
    EXPECT_EQ(pageCount(*src.pdf), 1500u);
    EXPECT_TRUE(src.readsAsWhole());
    (void)pageAt(*src.pdf, 700);
    EXPECT_FALSE(src.readsAsWhole());
    readWithWholeTable(src, "");
    EXPECT_FALSE(src.regrouped && src.regrouped->subset);
    EXPECT_EQ(pageAt(*src.pdf, 700)->getObjGen(), original->getAllPages()[700].getObjGen());
    EXPECT_TRUE(src.readsAsWhole());
    // A page asked for at the opening is listed.
    DocumentSource asked = openForUpdate(path, "", nullptr, SubsetRequest{{700}, 0});
    ASSERT_TRUE(asked.regrouped && asked.regrouped->subset);
    EXPECT_EQ(pageAt(*asked.pdf, 700)->getObjGen(), original->getAllPages()[700].getObjGen());
    EXPECT_TRUE(asked.readsAsWhole());
  }

  // A field on a page far from both ends is reached through the form's
  // widget; a widget without /P has its page searched for among all of
  // them, which the signer does with the whole table.
  for (const bool named : {true, false}) {
    SCOPED_TRACE(named ? "widget names its page" : "widget without /P");
    const std::string withField = longDocument(1500, true, false, 900, 20000, named);
    testsupport::writeText(dir / "field.pdf", withField);
    auto s = pdftest::signer(dir / "field.pdf", dir / "signed.pdf");
    s.signatureFields = 0;
    s.overwrite = true;
    s.open();
    EXPECT_EQ(s.findField("Approval"), 0);
    s.sign();
    EXPECT_EQ(pdftest::pdfsigValidations(dir / "signed.pdf"), std::vector<std::string>{"Signature is Valid."});
    const std::string signedBytes = testsupport::readText(dir / "signed.pdf");
    auto signedPdf = open(signedBytes);
    QPDFObjectHandle fieldPage = signedPdf->getAllPages()[900];
    QPDFObjectHandle annots = fieldPage.getKey("/Annots");
    ASSERT_TRUE(annots.isArray());
    QPDFObjectHandle widget = annots.getArrayItem(0);
    EXPECT_TRUE(widget.getKey("/V").isDictionary());
    // Drawn for the page's quarter turn, which it inherits from the root.
    EXPECT_TRUE(widget.getKey("/AP").getKey("/N").getDict().getKey("/Matrix").isArray());
  }
}

// What the walk and the check take for references is what qpdf's parser
// takes: a "%" inside a string is no comment, so the form named after it
// on the next line is listed and found.
TEST(PageTreeRegroupingTest, TheObjectsListedAreThoseQpdfsParserNames) {
  constexpr int pages = 1100, padding = 20000;
  std::vector<std::string> o{pdftest::stream("", "BT ET")};
  std::string kids;
  for (int i = 0; i < pages; ++i) {
    kids += std::to_string(2 + i) + " 0 R ";
    o.push_back("<< /Type /Page /Parent 1102 0 R /MediaBox [0 0 612 792] /Contents 1 0 R" +
                std::string(i == 0 ? " /Annots [1105 0 R]" : "") + " >>");
  }
  o.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");  // 1102
  o.push_back("<< /Type /Catalog /Pages 1102 0 R /PZ (100%) /AcroForm 1104\n0 R /Pad 1106 0 R >>");
  o.push_back("<< /Fields [1105 0 R] >>");
  o.push_back("<< /Type /Annot /Subtype /Widget /FT /Sig /T (Approval) /Rect [72 72 272 132] /F 4 /P 2 0 R >>");
  for (int i = 0; i < padding; ++i)
    o.push_back(i + 1 < padding ? "<< /Next " + std::to_string(1107 + i) + " 0 R >>" : "<< >>");
  TempDir dir;
  testsupport::writeText(dir / "in.pdf", pdftest::buildPdfWithXrefStream(o, 1103));
  DocumentSource src = openForUpdate(dir / "in.pdf", "", nullptr, SubsetRequest{});
  ASSERT_TRUE(src.regrouped && src.regrouped->subset);
  EXPECT_EQ(signatureFieldIndex(*src.pdf, "Approval"), 0);
  EXPECT_TRUE(src.readsAsWhole());
}

// qpdf does not read the table when it is given a subset, so it cannot warn
// about it: only sections qpdf reads without a warning qualify.
TEST(PageTreeRegroupingTest, OnlyStrictlyWrittenStreamSectionsStandForQpdfsTable) {
  const std::vector<std::string> o{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"};
  auto strict = [](const std::string& file) {
    const auto tail = readXrefTail(file);
    if (!tail) return false;
    const auto sections = CrossReferenceSections::read(file, tail->startxref);
    return sections && sections->readAsQpdfReadsThem();
  };
  const std::string clean = pdftest::buildPdfWithXrefStream(o);
  EXPECT_TRUE(strict(clean));
  EXPECT_FALSE(strict(pdftest::buildPdf(o)));
  // startxref one byte early, on the line break before the stream.
  const std::size_t at = clean.rfind("startxref\n") + 10;
  std::string early = clean;
  early.replace(at, early.find('\n', at) - at, std::to_string(std::stoul(clean.substr(at)) - 1));
  EXPECT_FALSE(strict(early));
  // A row more in the data than /Index and /Size say.
  std::string surplus = clean;
  const std::size_t sizeAt = surplus.rfind("/Size ") + 6;
  surplus.replace(sizeAt, surplus.find(' ', sizeAt) - sizeAt, std::to_string(std::stoul(surplus.substr(sizeAt)) - 1));
  EXPECT_FALSE(strict(surplus));
}

// qpdf reads an object of an object stream from its offset to where its
// value ends, past the offset the stream gives the next object (here the
// same one, and one inside the value): so does the text the walk and the
// check read references from.
TEST(PageTreeRegroupingTest, AnObjectStreamsObjectIsReadToTheEndOfItsValue) {
  for (const std::string header : {"4 0 5 0 ", "4 0 5 3 "}) {
    SCOPED_TRACE(header);
    pdftest::XrefStreamFile f;
    f.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    f.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    f.object(3, pdftest::stream("/Type /ObjStm /N 2 /First 8", header + "<< /Parent 6 0 R >>"));
    f.row(0, 0, 0xFFFF);
    f.listed(1);
    f.listed(2);
    f.listed(3);
    f.row(2, 3, 0);
    f.row(2, 3, 1);
    const std::string file = f.finish(6, "/Size 7 /Root 1 0 R");
    const auto sections = CrossReferenceSections::read(file, f.lastXref);
    ASSERT_TRUE(sections);
    ObjectTextReader reader(*sections, file);
    const auto four = reader.value(4, 0);
    ASSERT_TRUE(four);
    EXPECT_EQ(*four, "<< /Parent 6 0 R >>");
    // Every object stream measured from its text: a subset may leave them
    // out, as nothing needs qpdf to read them to be checked.
    EXPECT_TRUE(everyObjectStreamMeasuredFromText(file, *sections));
  }
}

// A subset leaves out object streams signing does not read, so qpdf never
// measures them against the expansion limit nor warns of their damage:
// only files whose every object stream is measured from its text qualify,
// and a bracket qpdf reads past does not end a value.
TEST(PageTreeRegroupingTest, WhatOnlyQpdfWouldCheckKeepsTheWholeTable) {
  pdftest::XrefStreamFile f;
  f.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  f.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  const std::string data = "4 0 << /A 1 >>";
  // Its /Length three bytes short of "endstream".
  f.object(3, "<< /Type /ObjStm /N 1 /First 4 /Length " + std::to_string(data.size() - 3) + " >>\nstream\n" + data +
                  "\nendstream");
  f.row(0, 0, 0xFFFF);
  f.listed(1);
  f.listed(2);
  f.listed(3);
  f.row(2, 3, 0);
  const std::string file = f.finish(5, "/Size 6 /Root 1 0 R");
  const auto sections = CrossReferenceSections::read(file, f.lastXref);
  ASSERT_TRUE(sections);
  EXPECT_FALSE(everyObjectStreamMeasuredFromText(file, *sections));

  pdftest::XrefStreamFile g;
  g.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 3 0 R >>");
  g.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  g.object(3, "<< /Fields [] /Foo ] /DR 4 0 R >>");
  g.row(0, 0, 0xFFFF);
  g.listed(1);
  g.listed(2);
  g.listed(3);
  const std::string stray = g.finish(4, "/Size 5 /Root 1 0 R");
  const auto strayRead = CrossReferenceSections::read(stray, g.lastXref);
  ASSERT_TRUE(strayRead);
  // The walk gives up on it rather than stop at the stray "]".
  std::vector<QPDFObjGen> pages;
  ObjectTextReader reader(*strayRead, stray);
  ReadingSubset::Walk walk;
  walk.catalog = QPDFObjGen(1, 0);
  walk.pages = &pages;
  walk.definedBySection = [](QPDFObjGen) { return false; };
  EXPECT_FALSE(ReadingSubset::find(*strayRead, reader, walk));
}
