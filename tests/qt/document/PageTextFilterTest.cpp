#include "qt/document/PageTextFilter.hpp"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPdfWriter>

#include "core/document/PDFDocument.hpp"
#include "qt/document/PDFTextSearch.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora::qt::document;
using penvora::core::document::PDFDocument;
using testsupport::TempDir, testsupport::writeText;

namespace {

QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// One page per content stream, each with the fonts below and one form.
std::string fontPages(const std::vector<std::string>& contents) {
  const std::string toUnicode =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
      "endcodespacerange 2 beginbfchar <41> <005A> <42> <00540068> endbfchar 1 beginbfrange <61> <63> <0078> "
      "endbfrange endcmap end end";
  std::vector<std::string> o = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "",  // the page tree, below
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>",  // its own, standard encoding
      "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding << /BaseEncoding /WinAnsiEncoding "
      "/Differences [65 /B /uni00E9 /Lslash] >> >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 7 0 R >>",
      pdftest::stream("", toUnicode),
      pdftest::stream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >>",
                      "BT /F1 12 Tf 72 100 Td (inside a form) Tj ET"),
  };
  std::string kids;
  for (const auto& content : contents) {
    kids += std::to_string(o.size() + 1) + " 0 R ";
    o.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(o.size() + 2) +
                " 0 R /Resources << /Font << /F1 3 0 R /F2 4 0 R /F3 5 0 R /F4 6 0 R >> /XObject << /X 8 0 R >> >> >>");
    o.push_back(pdftest::stream("", content));
  }
  o[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(contents.size()) + " >>";
  return pdftest::buildPdf(o);
}

std::vector<std::u32string> coarseRuns(const PDFDocument& doc, std::size_t page) {
  auto runs = doc.pageTextRuns(page);
  if (!runs) return {};
  for (auto& run : *runs) run = PageTextFilter::coarse(run);
  return *runs;
}

// Every stretch of the reader's own text of a page must pass the filter,
// in both cases; a text the page does not have must not, unless each
// character is drawn on its own (as Qt's writer does).
void expectReaderTextPasses(const std::filesystem::path& file, const QString& absent = {}) {
  const auto doc = PDFDocument::open(file.string());
  ASSERT_TRUE(doc);
  const PDFTextSearch reader(qpath(file), {});
  ASSERT_EQ(reader.pageCount(), static_cast<int>(doc->pageCount()));
  for (int page = 0; page < reader.pageCount(); ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    ASSERT_TRUE(doc->pageTextRuns(static_cast<std::size_t>(page))) << "runs not vouched for";
    const auto runs = coarseRuns(*doc, static_cast<std::size_t>(page));
    const QString text = reader.pageText(page);
    ASSERT_FALSE(text.isEmpty());
    for (int from = 0; from < text.size(); ++from)
      for (int length = 1; length <= 24 && from + length <= text.size(); ++length) {
        const QString part = text.mid(from, length);
        for (const auto cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
          ASSERT_TRUE(PageTextFilter(part, cs).mayHold(runs)) << part.toStdString() << " in " << text.toStdString();
      }
    if (!absent.isEmpty()) {
      EXPECT_FALSE(PageTextFilter(absent, Qt::CaseInsensitive).mayHold(runs));
    }
  }
}

TEST(PageTextFilterTest, EveryStretchOfTheReadersTextPassesForEachKindOfFont) {
  TempDir dir;
  writeText(dir / "fonts.pdf",
            fontPages({
                // WinAnsi accents, quotes, hyphen; kerned TJ; ' and a second line.
                "BT /F1 12 Tf 72 700 Td (Signature: caf\351 na\357ve \223quoted\224 co-operate) Tj 0 -20 Td "
                "[(Si) -20 (gna) 30 (ture) -300 (here)] TJ 14 TL (next line) ' ET",
                // The standard encoding's own quotes; a line's pieces drawn right first.
                "BT /F2 12 Tf 72 700 Td (the client's `copy') Tj ET BT /F2 12 Tf 300 650 Td (world) Tj ET "
                "BT /F2 12 Tf 72 650 Td (hello) Tj ET",
                // /Differences by name and by uniXXXX; a ToUnicode map; a form.
                "BT /F3 12 Tf 72 700 Td (ABC Abc) Tj /F4 12 Tf 0 -20 Td (ABabc) Tj ET /X Do",
                // Q brings back the font q saved (\222 is a quote in WinAnsi only).
                "BT /F1 12 Tf ET q BT /F2 12 Tf 72 700 Td (inner) Tj ET Q BT 72 680 Td (it\222s back) Tj ET",
            }));
  expectReaderTextPasses(dir / "fonts.pdf", "words on no page");

  // What Qt's own PDF writer makes: embedded subsets behind Identity-H
  // with ToUnicode maps, ligatures and accents, several sizes.
  {
    QPdfWriter writer(qpath(dir / "qt.pdf"));
    QPainter painter(&writer);
    const char* lines[] = {"Firma del cliente: Ünïcödé ﬁnal oﬃce", "Justified   spacing and tabs\tend",
                           "Überweisung – Straße 12, 3. OG", "Ελληνικά και Кириллица"};
    int y = 400;
    for (const char* line : lines) {
      painter.setFont(QFont("DejaVu Sans", 10 + y / 400));
      painter.drawText(200, y, QString::fromUtf8(line));
      y += 400;
    }
    writer.newPage();
    painter.drawText(200, 400, QStringLiteral("Second page"));
  }
  expectReaderTextPasses(dir / "qt.pdf");
}

TEST(PageTextFilterTest, PagesWhoseTextCannotBeToldAreLeftToTheReader) {
  TempDir dir;
  // A CID font without ToUnicode, replacement text in marked content, a
  // font the resources lack, an overstrike, a Type3 font by code.
  writeText(
      dir / "odd.pdf",
      pdftest::buildPdf({
          "<< /Type /Catalog /Pages 2 0 R >>",
          "<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R 9 0 R] /Count 4 >>",
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /C 11 0 R "
          ">> >> >>",
          pdftest::stream("", "BT /C 12 Tf 72 700 Td <00410042> Tj ET"),
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R /Resources << /Font << /F 12 0 R "
          ">> >> >>",
          pdftest::stream("", "/Span << /ActualText (Sign) >> BDC BT /F 12 Tf 72 700 Td (S i g n) Tj ET EMC"),
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 8 0 R /Resources << >> >>",
          pdftest::stream("", "BT /Missing 12 Tf 72 700 Td (Sign) Tj ET"),
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 10 0 R /Resources << /Font << /F 12 0 R "
          ">> >> >>",
          pdftest::stream("", "BT /F 12 Tf 72 700 Td [(S) 667 (Si) 278 (ig) 556 (gn) 556 (n)] TJ ET"),
          "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [13 0 R] >>",
          "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
          "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /X /CIDSystemInfo << /Registry (Adobe) /Ordering "
          "(Identity) /Supplement 0 >> /FontDescriptor << /Type /FontDescriptor /FontName /X /Flags 4 >> >>",
      }));
  const auto doc = PDFDocument::open((dir / "odd.pdf").string());
  ASSERT_TRUE(doc);
  for (std::size_t page = 0; page < doc->pageCount(); ++page) EXPECT_FALSE(doc->pageTextRuns(page)) << page;

  // Forms drawing the next one 16 times, 8 deep: 16^8 drawings for a few
  // hundred bytes are given up, not walked.
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                                      "/Resources << /XObject << /X 5 0 R >> >> >>",
                                      pdftest::stream("", "/X Do")};
  for (int level = 0; level < 8; ++level) {
    std::string draws;
    for (int i = 0; i < 16; ++i) draws += "/X Do ";
    objects.push_back(pdftest::stream("/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /X " +
                                          std::to_string(6 + level) + " 0 R >> >>",
                                      level < 7 ? draws : "BT ET"));
  }
  writeText(dir / "forms.pdf", pdftest::buildPdf(objects));
  const auto forms = PDFDocument::open((dir / "forms.pdf").string());
  ASSERT_TRUE(forms);
  EXPECT_FALSE(forms->pageTextRuns(0));

  // A font written into the resources is read at each Tf: 300 of them are
  // given up (a big ToUnicode map read 300 times over would be slow).
  std::string switches;
  for (int i = 0; i < 300; ++i) switches += "/F 12 Tf (a) Tj ";
  writeText(dir / "fonts.pdf",
            pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << "
                               "/Font << /F << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>",
                               pdftest::stream("", "BT " + switches + "ET")}));
  const auto direct = PDFDocument::open((dir / "fonts.pdf").string());
  ASSERT_TRUE(direct);
  EXPECT_FALSE(direct->pageTextRuns(0));

  // The search still reads such pages; it skips a page whose runs tell.
  writeText(dir / "mixed.pdf",
            fontPages({"BT /F1 12 Tf 72 700 Td (nothing to see) Tj ET",
                       "/Span << /ActualText (x) >> BDC EMC BT /F1 12 Tf 72 700 Td (Sign here) Tj ET"}));
  const auto mixed = PDFDocument::open((dir / "mixed.pdf").string());
  ASSERT_TRUE(mixed);
  EXPECT_TRUE(mixed->pageTextRuns(0));
  const PDFTextSearch search(qpath(dir / "mixed.pdf"), {}, &*mixed);
  const auto found = search.findFirst("sign HERE", FindOptions::caseInsensitive);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->pageIndex, 1u);
}

TEST(PageTextFilterTest, MatchesAcrossRunsOnlyAsTailWholeRunsAndHead) {
  const auto runs = [](std::initializer_list<const char32_t*> texts) {
    std::vector<std::u32string> out;
    for (const auto* t : texts) out.push_back(PageTextFilter::coarse(t));
    return out;
  };
  const auto page = runs({U"Sig", U"nat", U"ure of the", U" cl", U"ient"});
  EXPECT_TRUE(PageTextFilter("Signature", Qt::CaseSensitive).mayHold(page));
  EXPECT_TRUE(PageTextFilter("of the client", Qt::CaseSensitive).mayHold(page));
  EXPECT_TRUE(PageTextFilter("SIGNATURE", Qt::CaseInsensitive).mayHold(page));
  EXPECT_FALSE(PageTextFilter("SIGNATURE", Qt::CaseSensitive).mayHold(page));
  // A tail of "Sig" then a head of "nat"; "Si" is no tail of a run.
  EXPECT_TRUE(PageTextFilter("igna", Qt::CaseSensitive).mayHold(runs({U"Sig", U"nat"})));
  EXPECT_FALSE(PageTextFilter("Sinat", Qt::CaseSensitive).mayHold(runs({U"Sig", U"nat"})));
  EXPECT_FALSE(PageTextFilter("ignb", Qt::CaseSensitive).mayHold(page));
  EXPECT_TRUE(PageTextFilter("  ", Qt::CaseSensitive).mayHold({}));
  // Ligatures, decomposed accents and curly quotes meet their plain forms.
  EXPECT_TRUE(PageTextFilter("final office", Qt::CaseSensitive).mayHold(runs({U"\uFB01nal o\uFB03ce"})));
  EXPECT_TRUE(PageTextFilter("caf\u00E9", Qt::CaseSensitive).mayHold(runs({U"cafe\u0301"})));
  EXPECT_TRUE(PageTextFilter("client's", Qt::CaseSensitive).mayHold(runs({U"client\u2019s"})));
}

}  // namespace
