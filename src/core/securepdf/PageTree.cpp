#include "core/securepdf/PageTree.hpp"

#include <algorithm>
#include <functional>
#include <set>

namespace penvora::core::securepdf {
namespace {

constexpr int kMaxDepth = static_cast<int>(kMaxPageTreeDepth);  // deeper than any real tree; stops loops

bool isLeaf(QPDFObjectHandle node) {
  return node.getKey("/Type").isNameAndEquals("/Page") || !node.getKey("/Kids").isArray();
}

// The leaves under a node as its /Count says, nothing when it says nothing usable.
std::optional<std::size_t> declaredCount(QPDFObjectHandle node) {
  if (!node.isDictionary()) return std::nullopt;
  if (isLeaf(node)) return 1;
  QPDFObjectHandle count = node.getKey("/Count");
  if (!count.isInteger() || count.getIntValue() < 0) return std::nullopt;
  return static_cast<std::size_t>(count.getIntValue());
}

// Walks down by the counts; nothing when the tree contradicts itself on
// the way (the caller then asks qpdf). `found` is false when the index is
// past the last page of a consistent tree.
std::optional<QPDFObjectHandle> walk(QPDF& pdf, std::size_t index, bool& consistent) {
  consistent = false;
  QPDFObjectHandle node = pdf.getRoot().getKey("/Pages");
  const auto total = declaredCount(node);
  if (!total || isLeaf(node)) return std::nullopt;
  if (index >= *total) {
    consistent = true;
    return std::nullopt;
  }
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    if (isLeaf(node)) {
      if (index != 0) return std::nullopt;
      consistent = true;
      return node;
    }
    QPDFObjectHandle kids = node.getKey("/Kids");
    const int n = kids.getArrayNItems();
    const auto count = declaredCount(node);
    if (!count) return std::nullopt;
    // As many kids as pages (the usual flat tree): the wanted one is the
    // kid at its index, provided the kids before it are pages too; a node
    // among them (its pages balanced by an empty node further on) shifts
    // every index after it. Their counts need not be read.
    if (*count == static_cast<std::size_t>(n) && index < *count) {
      bool flat = true;
      for (int i = 0; i < static_cast<int>(index) && flat; ++i) {
        QPDFObjectHandle before = kids.getArrayItem(i);
        flat = before.isDictionary() && isLeaf(before);
      }
      QPDFObjectHandle kid = kids.getArrayItem(static_cast<int>(index));
      if (flat) {
        if (!kid.isDictionary() || !isLeaf(kid)) return std::nullopt;
        node = kid;
        index = 0;
        continue;
      }
    }
    // Otherwise the kids' counts must add up to the node's, or one of them
    // is wrong and the index could land on another page than a reader's.
    std::size_t total = 0, before = 0;
    QPDFObjectHandle next;
    for (int i = 0; i < n; ++i) {
      QPDFObjectHandle kid = kids.getArrayItem(i);
      const auto c = declaredCount(kid);
      if (!c) return std::nullopt;
      if (!next.isInitialized() && index < total + *c) {
        next = kid;
        before = total;
      }
      total += *c;
    }
    if (!next.isInitialized() || total != *count) return std::nullopt;
    node = next;
    index -= before;
  }
  return std::nullopt;
}

}  // namespace

std::optional<QPDFObjectHandle> pageAt(QPDF& pdf, std::size_t index) {
  bool consistent = false;
  if (auto page = walk(pdf, index, consistent)) return page;
  if (consistent) return std::nullopt;
  auto pages = allPages(pdf);
  if (index >= pages.size()) return std::nullopt;
  return pages[index];
}

std::size_t pageCount(QPDF& pdf) {
  const auto total = declaredCount(pdf.getRoot().getKey("/Pages"));
  // The count is trusted when its last page is where it says.
  if (total && *total > 0) {
    bool consistent = false;
    if (walk(pdf, *total - 1, consistent)) return *total;
  }
  return allPages(pdf).size();
}

namespace {

// The tree as a reader takes it: kids in order, each node read once (a
// loop ends there), nothing past kMaxPageTreeDepth, kids that are not
// dictionaries left out, and no recursion. `page` gets every listing of a
// page; the shape comes back.
PageTreeShape walkTree(QPDF& pdf, const std::function<void(QPDFObjectHandle)>& page) {
  PageTreeShape shape;
  QPDFObjectHandle root = pdf.getRoot().getKey("/Pages");
  if (!root.isDictionary()) return shape;
  if (isLeaf(root)) {
    ++shape.listings;
    page(root);
    return shape;
  }
  struct Node {
    QPDFObjectHandle kids;
    int next = 0, count = 0;
  };
  std::vector<Node> path;
  std::set<QPDFObjGen> read, pages;
  auto enter = [&](QPDFObjectHandle node) {
    if (path.size() >= kMaxPageTreeDepth) {
      shape.deeperThanRead = true;
      return;
    }
    if (node.isIndirect() && !read.insert(node.getObjGen()).second) return;
    QPDFObjectHandle kids = node.getKey("/Kids");
    path.push_back({kids, 0, kids.isArray() ? kids.getArrayNItems() : 0});
    shape.depth = std::max(shape.depth, path.size());
  };
  enter(root);
  while (!path.empty()) {
    if (path.back().next >= path.back().count) {
      path.pop_back();
      continue;
    }
    QPDFObjectHandle kid = path.back().kids.getArrayItem(path.back().next++);
    if (!kid.isDictionary()) continue;
    if (!isLeaf(kid)) {
      enter(kid);
      continue;
    }
    if (kid.isIndirect() && !pages.insert(kid.getObjGen()).second) ++shape.repeats;
    ++shape.listings;
    page(kid);
  }
  return shape;
}

}  // namespace

PageTreeShape pageTreeShape(QPDF& pdf) {
  return walkTree(pdf, [](const QPDFObjectHandle&) {});
}

std::vector<QPDFObjectHandle> allPages(QPDF& pdf) {
  std::vector<QPDFObjectHandle> pages;
  walkTree(pdf, [&](const QPDFObjectHandle& p) { pages.push_back(p); });
  return pages;
}

}  // namespace penvora::core::securepdf
