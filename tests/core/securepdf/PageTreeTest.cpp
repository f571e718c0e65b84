#include "core/securepdf/PageTree.hpp"

#include <gtest/gtest.h>

namespace {

using penvora::core::securepdf::pageAt;
using penvora::core::securepdf::pageCount;

QPDFObjectHandle page(QPDF& pdf, int n) {
  return pdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] /N " + std::to_string(n) + " >>"));
}

QPDFObjectHandle node(QPDF& pdf, int count, std::vector<QPDFObjectHandle> kids) {
  auto n = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages >>"));
  n.replaceKey("/Count", QPDFObjectHandle::newInteger(count));
  n.replaceKey("/Kids", QPDFObjectHandle::newArray(kids));
  for (auto& k : kids) k.replaceKey("/Parent", n);
  return n;
}

// Pages 0-4 in a nested tree; `firstCount` is what the first subtree
// claims (2 is true).
void build(QPDF& pdf, int firstCount) {
  pdf.emptyPDF();
  auto inner = node(pdf, 1, {page(pdf, 4)});
  auto root = node(
      pdf, 5, {node(pdf, firstCount, {page(pdf, 0), page(pdf, 1)}), page(pdf, 2), node(pdf, 2, {page(pdf, 3), inner})});
  pdf.getRoot().replaceKey("/Pages", root);
}

}  // namespace

// The walk lands where a reader's page order does; counts that lie send it
// to qpdf's own reading, which repairs the tree.
TEST(PageTreeTest, WalksNestedTreesAndFallsBackWhenCountsDisagree) {
  for (int firstCount : {2, 3, 0}) {
    QPDF pdf;
    build(pdf, firstCount);
    for (int i = 0; i < 5; ++i) {
      auto p = pageAt(pdf, static_cast<std::size_t>(i));
      ASSERT_TRUE(p) << firstCount << " " << i;
      EXPECT_EQ(p->getKey("/N").getIntValue(), i) << "first subtree claiming " << firstCount;
    }
    EXPECT_FALSE(pageAt(pdf, 5));
    EXPECT_EQ(pageCount(pdf), 5u);
  }
}

// A flat-looking node (as many kids as pages) whose first kid holds two
// pages and whose last is empty: the kids after the first are shifted. A
// kid that is no dictionary is no page.
TEST(PageTreeTest, KidsCountingAsManyAsPagesAreNotTakenForPagesBlindly) {
  QPDF pdf;
  pdf.emptyPDF();
  auto root = node(pdf, 3, {node(pdf, 2, {page(pdf, 0), page(pdf, 1)}), page(pdf, 2), node(pdf, 0, {})});
  pdf.getRoot().replaceKey("/Pages", root);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pageAt(pdf, static_cast<std::size_t>(i))->getKey("/N").getIntValue(), i);

  QPDF scalar;
  scalar.emptyPDF();
  auto kids =
      QPDFObjectHandle::newArray({page(scalar, 0), scalar.makeIndirectObject(QPDFObjectHandle::newInteger(42))});
  auto flat = scalar.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Count 2 >>"));
  flat.replaceKey("/Kids", kids);
  scalar.getRoot().replaceKey("/Pages", flat);
  EXPECT_TRUE(pageAt(scalar, 0));
  EXPECT_FALSE(pageAt(scalar, 1));

  // A page listed twice is listed twice, as itself: qpdf's reading would
  // make a copy that exists only in memory.
  QPDF twice;
  twice.emptyPDF();
  auto p = page(twice, 0);
  auto doubled = twice.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Count 2 >>"));
  doubled.replaceKey("/Kids", QPDFObjectHandle::newArray({p, p}));
  twice.getRoot().replaceKey("/Pages", doubled);
  const auto pages = penvora::core::securepdf::allPages(twice);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[1].getObjGen(), p.getObjGen());
}
