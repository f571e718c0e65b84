#include "core/document/DeclaredObjectCount.hpp"
#include "core/document/DocumentMerge.hpp"
#include "core/document/PDFDocument.hpp"
#include "core/util/BoundedFile.hpp"

#include <gtest/gtest.h>

#include <regex>

#include "support/PdfTestSupport.hpp"

using namespace penvora::core::document;
using penvora::Rect;

using testsupport::TempDir, testsupport::writeText;
namespace fs = std::filesystem;

TEST(PDFDocumentTest, PagesBoxesRotationAndWidgets) {
  TempDir dir;
  std::vector<pdftest::PageSpec> pages(3);
  pages[1].rotate = -90;  // normalised to 270
  pages[2].mediaBox = "[10 20 310 420]";
  writeText(dir / "f.pdf", pdftest::documentPdf(pages, /*signatureFields=*/true));
  auto doc = PDFDocument::open((dir / "f.pdf").string());
  ASSERT_TRUE(doc);
  EXPECT_FALSE(doc->isLocked());
  ASSERT_EQ(doc->pageCount(), 3u);
  EXPECT_EQ(doc->pageAtIndex(1)->rotation, 270);
  EXPECT_EQ(doc->pageAtIndex(2)->mediaBox, (Rect{10, 20, 300, 400}));
  EXPECT_EQ(doc->pageAtIndex(2)->cropBox, (Rect{10, 20, 300, 400}));
  EXPECT_FALSE(doc->pageAtIndex(3));

  const auto annots = doc->annotations();
  ASSERT_EQ(annots.size(), 2u);
  EXPECT_TRUE(annots[0].isSignatureWidget());
  EXPECT_EQ(annots[0].fieldName, "Sig1");
  EXPECT_EQ(annots[0].pageIndex, 0u);
  EXPECT_EQ(annots[0].bounds, (Rect{100, 100, 200, 60}));
  EXPECT_EQ(annots[1].fieldName, "group.Sig2");  // the kid takes its type from itself, its name from the parent
  EXPECT_EQ(annots[1].pageIndex, 2u);

  // A crop box of a number no double holds is no box: the media box shows.
  pdftest::PageSpec endless;
  endless.mediaBox = "[0 0 612 792] /CropBox [-" + std::string(400, '9') + ".0 0 612 792]";
  writeText(dir / "endless.pdf", pdftest::documentPdf({endless}));
  EXPECT_EQ(PDFDocument::open((dir / "endless.pdf").string())->pageAtIndex(0)->cropBox, (Rect{0, 0, 612, 792}));
}

TEST(PDFDocumentTest, BadFilesDoNotOpenAndPasswordsUnlock) {
  TempDir dir;
  EXPECT_FALSE(PDFDocument::open((dir / "missing.pdf").string()));
  writeText(dir / "junk.pdf", "not a pdf at all");
  EXPECT_FALSE(PDFDocument::open((dir / "junk.pdf").string()));
  EXPECT_FALSE(PDFDocument::open(dir.path().string()));  // a folder
  // Trees qpdf's own walk would recurse through past the stack (a chain of
  // 100 nodes stands for 50,000), or copy a page for each listing again.
  std::vector<std::string> chain{"<< /Type /Catalog /Pages 2 0 R >>"};
  for (int n = 2; n < 102; ++n)
    chain.push_back("<< /Type /Pages /Count 1 /Kids [" + std::to_string(n + 1) + " 0 R] >>");
  chain.push_back("<< /Type /Page /MediaBox [0 0 612 792] >>");
  writeText(dir / "deep.pdf", pdftest::buildPdf(chain));
  EXPECT_FALSE(PDFDocument::open((dir / "deep.pdf").string()));
  std::string kids;
  for (int i = 0; i < 300; ++i) kids += "3 0 R ";
  writeText(dir / "repeated.pdf", pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                                     "<< /Type /Pages /Count 300 /Kids [" + kids + "] >>",
                                                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"}));
  EXPECT_FALSE(PDFDocument::open((dir / "repeated.pdf").string()));
  // A kid that is not there: qpdf would make a blank page of it.
  writeText(dir / "missing-kid.pdf",
            pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Count 2 /Kids [3 0 R 99 0 R] >>",
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"}));
  EXPECT_FALSE(PDFDocument::open((dir / "missing-kid.pdf").string()));

  writeText(dir / "plain.pdf", pdftest::plainPdf(2));
  const auto locked = pdftest::encrypted(dir / "plain.pdf", "u");
  auto doc = PDFDocument::open(locked.string());
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc->isLocked());
  EXPECT_EQ(doc->pageCount(), 0u);
  EXPECT_TRUE(doc->allPageBoxes().empty());  // read while locked: kept only until unlocked
  EXPECT_FALSE(doc->unlockWithPassword("wrong"));
  EXPECT_TRUE(doc->isLocked());
  EXPECT_TRUE(doc->unlockWithPassword("u"));
  EXPECT_EQ(doc->pageCount(), 2u);
  ASSERT_EQ(doc->allPageBoxes().size(), 2u);
  EXPECT_TRUE(doc->allPageBoxes()[1]);
}

TEST(DocumentMergeTest, SourcesInOrderEmptyOnesLeftOut) {
  TempDir dir;
  writeText(dir / "first.pdf", pdftest::plainPdf(2));
  writeText(dir / "empty.pdf", pdftest::documentPdf({}));  // no pages
  writeText(dir / "third.pdf", pdftest::documentPdf(std::vector<pdftest::PageSpec>(3, {90})));
  fs::create_directories(dir / "tmp");
  const auto r =
      mergeDocuments({(dir / "first.pdf").string(), (dir / "empty.pdf").string(), (dir / "third.pdf").string()}, "",
                     (dir / "tmp").string());
  ASSERT_EQ(r.status, MergeResult::Status::merged);
  EXPECT_EQ(r.pageInfos, (std::vector<DocumentPageInfo>{{1, 2, "first"}, {3, 5, "third"}}));
  EXPECT_TRUE(
      std::regex_match(fs::path(r.path).filename().string(),
                       std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.pdf")));
  EXPECT_TRUE(pdftest::qpdfCheckClean(r.path));
  auto merged = PDFDocument::open(r.path);
  ASSERT_TRUE(merged);
  ASSERT_EQ(merged->pageCount(), 5u);
  EXPECT_EQ(merged->pageAtIndex(1)->rotation, 0);
  EXPECT_EQ(merged->pageAtIndex(2)->rotation, 90);  // pages keep their own geometry

  EXPECT_EQ(mergedTitle({{1, 4, "only"}}, 1), std::nullopt);  // the titles of several: SignatureViewControllerTest

  // A signed source keeps its signature's look, not its value, which
  // signed other bytes: no reader finds a broken signature in the merge.
  writeText(dir / "form.pdf", pdftest::documentPdf({{}}, true));
  pdftest::signer((dir / "form.pdf").string(), (dir / "signed.pdf").string()).sign();
  ASSERT_EQ(pdftest::pdfsigValidations(dir / "signed.pdf"), std::vector<std::string>{"Signature is Valid."});
  const auto withSigned =
      mergeDocuments({(dir / "signed.pdf").string(), (dir / "first.pdf").string()}, "", (dir / "tmp").string());
  ASSERT_EQ(withSigned.status, MergeResult::Status::merged) << withSigned.message;
  EXPECT_TRUE(pdftest::pdfsigValidations(withSigned.path).empty());
  EXPECT_EQ(pdftest::occurrences(pdftest::qdf(withSigned.path), "/ByteRange"), 0u);
}

TEST(DocumentMergeTest, FailuresLeaveNoFile) {
  TempDir dir;
  fs::create_directories(dir / "tmp");
  writeText(dir / "a.pdf", pdftest::plainPdf());
  writeText(dir / "junk.pdf", "%PDF-1.4 garbage");
  EXPECT_EQ(mergeDocuments({(dir / "a.pdf").string(), (dir / "junk.pdf").string()}, "", (dir / "tmp").string()).status,
            MergeResult::Status::failed);
  EXPECT_EQ(mergeDocuments({(dir / "a.pdf").string()}, "", (dir / "no-such-folder").string()).status,
            MergeResult::Status::failed);
  // Forty content streams whose data all run to one "endstream" past the
  // others' headers: each /Length is right, and together they would copy
  // forty times the file.
  std::string overlapping = "%PDF-1.4\n";
  std::vector<std::size_t> at;
  const int streams = 40;
  std::string contents;
  for (int k = 0; k < streams; ++k) contents += std::to_string(4 + k) + " 0 R ";
  const std::vector<std::string> head{
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [" + contents + "] >>"};
  for (std::size_t i = 0; i < head.size(); ++i) {
    at.push_back(overlapping.size());
    overlapping += std::to_string(i + 1) + " 0 obj\n" + head[i] + "\nendobj\n";
  }
  const std::size_t end = overlapping.size() + 100'000;  // where "endstream" goes
  for (int k = 0; k < streams; ++k) {
    at.push_back(overlapping.size());
    const std::string number = std::to_string(4 + k) + " 0 obj\n<< /Length ";
    const std::size_t dataAt = overlapping.size() + number.size() + 10 + 11;  // ten digits, " >>\nstream\n"
    char length[16];
    std::snprintf(length, sizeof length, "%010zu", end - dataAt);
    overlapping += number + length + " >>\nstream\n";
  }
  overlapping += std::string(end - overlapping.size(), ' ') + "\nendstream\nendobj\n";
  const std::size_t xref = overlapping.size();
  overlapping += "xref\n0 " + std::to_string(at.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : at) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    overlapping += entry;
  }
  overlapping += "trailer\n<< /Size " + std::to_string(at.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
                 std::to_string(xref) + "\n%%EOF\n";
  writeText(dir / "overlapping.pdf", overlapping);
  const auto refused =
      mergeDocuments({(dir / "a.pdf").string(), (dir / "overlapping.pdf").string()}, "", (dir / "tmp").string());
  EXPECT_EQ(refused.status, MergeResult::Status::failed);
  EXPECT_NE(refused.message.find("streams overlap"), std::string::npos) << refused.message;

  writeText(dir / "empty.pdf", pdftest::documentPdf({}));
  EXPECT_EQ(
      mergeDocuments({(dir / "empty.pdf").string(), (dir / "empty.pdf").string()}, "", (dir / "tmp").string()).status,
      MergeResult::Status::failed);
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));

  const auto locked = pdftest::encrypted(dir / "a.pdf", "u");
  const std::vector<std::string> both{(dir / "a.pdf").string(), locked.string()};
  EXPECT_EQ(mergeDocuments(both, "", (dir / "tmp").string()).status, MergeResult::Status::needsPassword);
  const auto r = mergeDocuments(both, "u", (dir / "tmp").string());
  EXPECT_EQ(r.status, MergeResult::Status::merged);
  EXPECT_EQ(r.pageInfos.size(), 2u);

  // An author who restricts moving the pages, or only changing them: the
  // merged file would drop the restriction, so the owner's password alone
  // merges them.
  for (const char* restriction : {"--assemble=n", "--modify=assembly"}) {
    SCOPED_TRACE(restriction);
    testsupport::run("qpdf --encrypt u owner 256 " + std::string(restriction) + " -- '" + (dir / "a.pdf").string() +
                     "' '" + (dir / "restricted.pdf").string() + "'");
    const std::vector<std::string> restricted{(dir / "a.pdf").string(), (dir / "restricted.pdf").string()};
    const auto refused = mergeDocuments(restricted, "u", (dir / "tmp").string());
    EXPECT_EQ(refused.status, MergeResult::Status::failed);
    EXPECT_NE(refused.message.find("permissions restrict"), std::string::npos) << refused.message;
    EXPECT_EQ(mergeDocuments(restricted, "owner", (dir / "tmp").string()).status, MergeResult::Status::merged);
  }
}

// Pages are written straight from their sources: what a page inherits from
// its tree comes along, names and strings keep their escapes, stream bytes
// come through an encrypted source unchanged, and a page another page's
// link points at is not written twice.
TEST(DocumentMergeTest, PagesKeepWhatTheyInheritAndTheirContent) {
  TempDir dir;
  fs::create_directories(dir / "tmp");
  writeText(dir / "tree.pdf",
            pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                               "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 300 400] /Rotate 90 "
                               "/Resources << /Font << /F#201 5 0 R >> >> >>",
                               "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Annots [7 0 R] >>",
                               "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Rotate 0 >>",
                               "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                               pdftest::stream("", "BT /F#201 12 Tf 20 20 Td (Hello \\(merged\\)) Tj ET"),
                               "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest [4 0 R /Fit] >>"}));
  const auto locked = pdftest::encrypted(dir / "tree.pdf", "u");
  const auto r = mergeDocuments({(dir / "tree.pdf").string(), locked.string()}, "u", (dir / "tmp").string());
  ASSERT_EQ(r.status, MergeResult::Status::merged) << r.message;
  EXPECT_TRUE(pdftest::qpdfCheckClean(r.path));
  auto merged = PDFDocument::open(r.path);
  ASSERT_TRUE(merged);
  ASSERT_EQ(merged->pageCount(), 4u);
  for (std::size_t i : {0u, 2u}) {
    EXPECT_EQ(merged->pageAtIndex(i)->rotation, 90);
    EXPECT_EQ(merged->pageAtIndex(i)->mediaBox, (Rect{0, 0, 300, 400}));
    EXPECT_EQ(merged->pageAtIndex(i + 1)->rotation, 0);
  }
  const std::string text = pdftest::qdf(r.path);
  EXPECT_EQ(pdftest::occurrences(text, "(Hello \\(merged\\)) Tj"), 2u);
  // In each source's resources (written once, both its pages refer to them) and content.
  EXPECT_EQ(pdftest::occurrences(text, "/F#201"), 4u);
  EXPECT_EQ(pdftest::occurrences(text, "/Type /Page "), 4u);

  // What a page inherits is what the tree listing it gives, as viewers
  // read it: a page without /Parent, or whose own /Resources is not a
  // dictionary, still shows its text in the source's font.
  writeText(dir / "loose.pdf",
            pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                               "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 300 400] "
                               "/Resources << /Font << /F 6 0 R >> >> >>",
                               "<< /Type /Page /Contents 5 0 R >>",
                               "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources 7 >>",
                               pdftest::stream("", "BT /F 12 Tf 20 20 Td (INHERITED) Tj ET"),
                               "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}));
  const auto loose =
      mergeDocuments({(dir / "tree.pdf").string(), (dir / "loose.pdf").string()}, "", (dir / "tmp").string());
  ASSERT_EQ(loose.status, MergeResult::Status::merged) << loose.message;
  EXPECT_EQ(testsupport::run("pdftotext '" + loose.path + "' - | grep -c INHERITED").output, "2\n");
  EXPECT_EQ(PDFDocument::open(loose.path)->pageAtIndex(2)->mediaBox, (Rect{0, 0, 300, 400}));

  // A layer its source hides by default stays hidden, whether its view
  // lists it off or starts with every layer off and turns on others.
  const auto layers = [](const std::string& view) {
    return pdftest::buildPdf(
        {"<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [5 0 R 7 0 R] /D " + view + " >> >>",
         "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 300 400] >>",
         "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Properties << /L 5 0 R /S 7 0 R >> "
         "/Font << /F 6 0 R >> >> >>",
         pdftest::stream("",
                         "/OC /L BDC BT /F 12 Tf 20 20 Td (HIDDEN) Tj ET EMC "
                         "/OC /S BDC BT /F 12 Tf 20 40 Td (SHOWN) Tj ET EMC"),
         "<< /Type /OCG /Name (Draft) >>", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
         "<< /Type /OCG /Name (Final) >>"});
  };
  for (const char* view : {"<< /OFF [5 0 R] >>", "<< /BaseState /OFF /ON [7 0 R] >>"}) {
    writeText(dir / "layer.pdf", layers(view));
    const auto layered =
        mergeDocuments({(dir / "tree.pdf").string(), (dir / "layer.pdf").string()}, "", (dir / "tmp").string());
    ASSERT_EQ(layered.status, MergeResult::Status::merged) << layered.message;
    const std::string shown = testsupport::run("pdftotext '" + layered.path + "' -").output;
    EXPECT_EQ(shown.find("HIDDEN"), std::string::npos) << view;
    EXPECT_NE(shown.find("SHOWN"), std::string::npos) << view;
  }
}

// A large file of few objects is parsed from disk rather than read whole
// first; its object count comes from the trailer or the cross-reference
// stream's dictionary, counted from the header even after leading bytes.
TEST(PDFDocumentTest, TheDeclaredObjectCountDecidesHowALargeFileIsRead) {
  TempDir dir;
  const auto declaredObjectCount = [](const std::filesystem::path& path) {
    const penvora::core::util::RegularFile file(path.string(), "The test file");
    return penvora::core::document::declaredObjectCount(file.fd(), file.size());
  };
  const std::string plain = pdftest::plainPdf(2);  // 1 catalog, 2 pages, 3 font, two pages of two: /Size 8
  writeText(dir / "table.pdf", plain);
  EXPECT_EQ(declaredObjectCount(dir / "table.pdf"), 8u);
  writeText(dir / "prefixed.pdf", "From a mail gateway\r\n" + plain);
  EXPECT_EQ(declaredObjectCount(dir / "prefixed.pdf"), 8u);
  testsupport::run("qpdf --object-streams=generate '" + (dir / "table.pdf").string() + "' '" +
                   (dir / "stream.pdf").string() + "'");
  const auto packed = declaredObjectCount(dir / "stream.pdf");
  ASSERT_TRUE(packed);
  EXPECT_GE(*packed, 8u);
  writeText(dir / "junk.pdf", "not a pdf at all");
  EXPECT_FALSE(declaredObjectCount(dir / "junk.pdf"));

  // 6 MB in one content stream: read from disk, and it opens all the same.
  writeText(dir / "big.pdf", pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                                "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>",
                                                "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
                                                pdftest::stream("", std::string(6u << 20, ' ') + "0 0 m")}));
  const auto big = PDFDocument::open((dir / "big.pdf").string());
  ASSERT_TRUE(big);
  EXPECT_EQ(big->pageCount(), 1u);
  EXPECT_EQ(big->pageAtIndex(0)->mediaBox, (Rect{0, 0, 612, 792}));
}
