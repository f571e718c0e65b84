#include "core/securepdf/PageTreeRegrouping.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectReferences.hpp"
#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/ObjectTextReader.hpp"
#include "core/securepdf/ReadingSubset.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::size_t kFanOut = 16;      // kids per new node: a walk reads a few hundred references
constexpr int kNodeNumberGap = 1 << 20;  // past any number an update of the original takes
struct Ref {
  int number = 0, generation = 0;
};

// " n g R"
void appendReference(std::string& out, Ref r) {
  char digits[16];
  out += ' ';
  out.append(digits, std::to_chars(digits, digits + sizeof digits, r.number).ptr);
  out += ' ';
  out.append(digits, std::to_chars(digits, digits + sizeof digits, r.generation).ptr);
  out += " R";
}

// The objects signing reads, found by walking the file's text from the
// trailer (see ReadingSubset); the section's own objects are recorded with
// the numbers they refer to, for the check after the work.
std::optional<ReadingSubset> listOnly(const CrossReferenceSections& sections, ObjectTextReader& reader,
                                      const std::map<std::string, SyntaxScanner::Span>& trailer,
                                      const SyntaxScanner& trailerScan, Ref catalog,
                                      const std::vector<QPDFObjGen>& pages, const std::vector<std::size_t>& wanted,
                                      const RegroupedPageTree& tree, std::string_view rootValue,
                                      SyntaxScanner::Span kids, const std::vector<std::uint64_t>& offsets,
                                      std::uint64_t base, std::uint64_t xrefAt) {
  ReadingSubset::Walk walk;
  walk.catalog = QPDFObjGen(catalog.number, catalog.generation);
  if (const auto info = trailer.find("/Info"); info != trailer.end()) {
    int n = 0, g = 0;
    if (trailerScan.reference(info->second.begin, n, g) != info->second.end) return std::nullopt;
    walk.info = QPDFObjGen(n, g);
  }
  walk.pages = &pages;
  walk.wantedPages = wanted;
  walk.wantedPages.push_back(0);                 // every opening checks it
  walk.wantedPages.push_back(pages.size() - 1);  // a page count checks it
  walk.pagesPerGroup = kFanOut * kFanOut;
  const std::string rootRest = std::string(rootValue.substr(0, kids.begin)) + std::string(rootValue.substr(kids.end));
  walk.rootWithoutKids = rootRest;
  const QPDFObjGen root = tree.root;
  const int firstNode = tree.firstNode, xrefNumber = tree.firstNode + tree.nodeCount;
  walk.definedBySection = [root, firstNode, xrefNumber](QPDFObjGen og) {
    return og == root || (og.getObj() >= firstNode && og.getObj() <= xrefNumber && og.getGen() == 0);
  };
  auto subset = ReadingSubset::find(sections, reader, walk);
  if (!subset) return std::nullopt;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    const std::uint64_t from = offsets[i] - base, to = (i + 1 < offsets.size() ? offsets[i + 1] : xrefAt) - base;
    subset->defineInSection(offsets[i], static_cast<std::size_t>(from), static_cast<std::size_t>(to));
  }
  return subset;
}

// Bytes needed to write `v` big-endian.
int widthOf(std::uint64_t v) {
  int w = 1;
  while (w < 8 && (v >> (8 * w)) != 0) ++w;
  return w;
}

// The section's table as a cross-reference stream (entries in object
// streams need one) listing the section's objects and the subset, without
// /Prev: qpdf reads no other table.
void writeListingSection(std::string& s, const ReadingSubset& subset, const RegroupedPageTree& tree,
                         const std::vector<std::uint64_t>& offsets, std::uint64_t xrefAt,
                         const std::map<std::string, SyntaxScanner::Span>& trailer, const SyntaxScanner& trailerScan) {
  struct Row {
    int type = 1;
    std::uint64_t second = 0, third = 0;
  };
  std::map<int, Row> rows;
  const int xrefNumber = tree.firstNode + tree.nodeCount;
  rows[tree.root.getObj()] = {1, offsets[0], static_cast<std::uint64_t>(tree.root.getGen())};
  for (int i = 0; i < tree.nodeCount; ++i) rows[tree.firstNode + i] = {1, offsets[static_cast<std::size_t>(i) + 1], 0};
  rows[xrefNumber] = {1, xrefAt, 0};
  for (const auto& [n, e] : subset.listed())
    rows[n] = e.kind == XrefEntry::Kind::inFile
                  ? Row{1, e.offset, static_cast<std::uint64_t>(e.generation)}
                  : Row{2, static_cast<std::uint64_t>(e.stream), static_cast<std::uint64_t>(e.index)};
  std::uint64_t most2 = 0, most3 = 0;
  for (const auto& [n, r] : rows) most2 = std::max(most2, r.second), most3 = std::max(most3, r.third);
  const int w2 = widthOf(most2), w3 = widthOf(most3);
  std::string data, index;
  data.reserve(rows.size() * static_cast<std::size_t>(1 + w2 + w3));
  auto put = [&](std::uint64_t v, int width) {
    for (int b = width - 1; b >= 0; --b) data.push_back(static_cast<char>((v >> (8 * b)) & 0xff));
  };
  int runStart = -1, runLength = 0;
  for (const auto& [n, r] : rows) {
    if (runStart >= 0 && n == runStart + runLength) {
      ++runLength;
    } else {
      if (runStart >= 0) index += " " + std::to_string(runStart) + " " + std::to_string(runLength);
      runStart = n;
      runLength = 1;
    }
    put(static_cast<std::uint64_t>(r.type), 1);
    put(r.second, w2);
    put(r.third, w3);
  }
  index += " " + std::to_string(runStart) + " " + std::to_string(runLength);
  s += std::to_string(xrefNumber) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(xrefNumber + 1) + " /W [1 " +
       std::to_string(w2) + " " + std::to_string(w3) + "] /Index [" + index + " ]";
  for (const char* key : {"/Root", "/Info", "/ID"})
    if (trailer.count(key)) s += std::string(" ") + key + " " + std::string(trailerScan.text(trailer.at(key)));
  s += " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\nstartxref\n" +
       std::to_string(xrefAt) + "\n%%EOF\n";
}

}  // namespace

std::optional<RegroupedPageTree> regroupFlatPageTree(std::string_view bytes, std::size_t fromKids) {
  const auto tail = readXrefTail(bytes);
  if (!tail) return std::nullopt;
  const std::string_view file = bytes.substr(tail->headerOffset);
  std::optional<CrossReferenceSections> sections;
  try {
    sections = CrossReferenceSections::read(file, tail->startxref);
  } catch (const SecurePdfError&) {
    return std::nullopt;  // a cross-reference stream past the expansion limit: not read here
  }
  if (!sections) return std::nullopt;
  return regroupFlatPageTree(file, tail->startxref, *sections, fromKids);
}

std::optional<RegroupedPageTree> regroupFlatPageTree(std::string_view file, std::uint64_t startxref,
                                                     const CrossReferenceSections& sections, std::size_t fromKids,
                                                     const std::optional<SubsetRequest>& listing) {
  try {
    // Dictionaries are read as text: only the numbers of their references
    // are wanted, and qpdf would look for the objects behind them.
    const SyntaxScanner trailerScan(file);
    std::size_t end = 0;
    const auto trailer = trailerScan.dictionary(sections.trailerAt(), end);
    if (!trailer || trailer->count("/Encrypt") || !trailer->count("/Size") || !trailer->count("/Root"))
      return std::nullopt;
    std::size_t sizeAt = trailer->at("/Size").begin;
    const auto size = trailerScan.integer(sizeAt);
    Ref catalog;
    if (!size || *size == 0 || *size > INT_MAX / 2 ||
        trailerScan.reference(trailer->at("/Root").begin, catalog.number, catalog.generation) !=
            trailer->at("/Root").end)
      return std::nullopt;

    ObjectTextReader reader(sections, file);
    const auto catalogText = reader.text(catalog.number, catalog.generation);
    if (!catalogText) return std::nullopt;
    const SyntaxScanner catalogScan(*catalogText);
    const auto catalogEntries = catalogScan.dictionary(0, end);
    if (!catalogEntries || !catalogEntries->count("/Pages") || catalogScan.startsStream(end)) return std::nullopt;
    const auto pages = catalogEntries->at("/Pages");
    Ref pagesRef;
    if (catalogScan.reference(pages.begin, pagesRef.number, pagesRef.generation) != pages.end) return std::nullopt;
    const QPDFObjGen root(pagesRef.number, pagesRef.generation);
    // A catalog that is its own page tree: the section would redefine the
    // catalog, which an update must not carry.
    if (pagesRef.number == catalog.number) return std::nullopt;
    const auto rootText = reader.text(root.getObj(), root.getGen());
    if (!rootText) return std::nullopt;

    const SyntaxScanner scan(*rootText);
    const auto entries = scan.dictionary(0, end);
    if (!entries || entries->count("/Parent") || scan.startsStream(end)) return std::nullopt;
    const auto kids = entries->find("/Kids"), count = entries->find("/Count"), type = entries->find("/Type");
    if (kids == entries->end() || count == entries->end() ||
        (type != entries->end() && scan.text(type->second) != "/Pages"))
      return std::nullopt;
    if ((*rootText)[kids->second.begin] != '[') return std::nullopt;  // an array given by reference, say
    std::vector<Ref> items;
    items.reserve((kids->second.end - kids->second.begin) / 6);  // " n g R" takes six characters at least
    std::size_t at = kids->second.begin + 1;
    for (;;) {
      at = scan.skipSpace(at);
      if (at >= kids->second.end) return std::nullopt;
      if ((*rootText)[at] == ']') break;
      int n = 0, g = 0;
      const auto next = scan.reference(at, n, g);
      if (!next) return std::nullopt;
      items.push_back({n, g});
      at = *next;
    }
    std::size_t countAt = count->second.begin;
    const auto declared = scan.integer(countAt);
    if (items.size() < std::max<std::size_t>(fromKids, 2) || !declared || countAt != count->second.end ||
        *declared != items.size())
      return std::nullopt;

    // New nodes of kFanOut kids, level by level, until the root needs no
    // more than kFanOut itself. Node i is object firstNode + i.
    const std::size_t pageCount = items.size();
    std::vector<QPDFObjGen> pageRefs;
    const auto highest = sections.highestListed();
    if (!highest || *highest > INT_MAX / 2) return std::nullopt;
    // Only where the table as read here is the one qpdf would read: qpdf
    // does not read it, so it could not warn about it.
    const bool listOnlySome =
        listing && static_cast<std::size_t>(*highest) >= listing->fromObjects && sections.readAsQpdfReadsThem();
    if (listOnlySome) {
      pageRefs.reserve(pageCount);
      for (Ref r : items) pageRefs.emplace_back(r.number, r.generation);
    }
    RegroupedPageTree out;
    out.originalObjectCount = static_cast<long long>(*size);
    out.root = root;
    // Past /Size and past any number the file uses (a /Size can be too
    // small), so no node hides an object of the file.
    out.firstNode = std::max(static_cast<int>(*size), *highest + 1) + kNodeNumberGap;
    struct Node {
      std::vector<Ref> kids;
      std::size_t count = 0;
      Ref parent;
    };
    std::vector<Node> nodes;
    std::vector<std::size_t> counts(items.size(), 1);
    std::vector<int> made(items.size(), -1);  // the node an item is, -1 for a page
    while (items.size() > kFanOut) {
      std::vector<Ref> up;
      std::vector<std::size_t> upCounts;
      std::vector<int> upMade;
      for (std::size_t i = 0; i < items.size(); i += kFanOut) {
        const int index = static_cast<int>(nodes.size());
        const Ref self{out.firstNode + index, 0};
        Node node;
        for (std::size_t k = i; k < items.size() && k < i + kFanOut; ++k) {
          node.kids.push_back(items[k]);
          node.count += counts[k];
          if (made[k] >= 0) nodes[static_cast<std::size_t>(made[k])].parent = self;
        }
        up.push_back(self);
        upCounts.push_back(node.count);
        upMade.push_back(index);
        nodes.push_back(std::move(node));
      }
      items = std::move(up);
      counts = std::move(upCounts);
      made = std::move(upMade);
    }
    const Ref rootSelf{root.getObj(), root.getGen()};
    std::string rootKids = "[";
    for (std::size_t k = 0; k < items.size(); ++k) {
      appendReference(rootKids, items[k]);
      if (made[k] >= 0) nodes[static_cast<std::size_t>(made[k])].parent = rootSelf;
    }
    rootKids += " ]";
    out.nodeCount = static_cast<int>(nodes.size());

    // The section: the root, the nodes, a table listing them, and a
    // trailer that says what the original's does, with the new /Size.
    const std::uint64_t base = file.size();  // offsets count from the header
    std::string& s = out.section;
    // Each kid written once more, about 12 characters, and a line of the
    // table and some 80 characters per node: grown once, not doubled.
    s.reserve(end + 12 * (pageCount + nodes.size()) + 100 * nodes.size() + 256);
    s.push_back('\n');
    std::vector<std::uint64_t> offsets;
    offsets.push_back(base + s.size());
    s += std::to_string(root.getObj()) + " " + std::to_string(root.getGen()) + " obj\n";
    s += rootText->substr(0, kids->second.begin);
    s += rootKids;
    s += rootText->substr(kids->second.end, end - kids->second.end);
    s += "\nendobj\n";
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      offsets.push_back(base + s.size());
      s += std::to_string(out.firstNode + static_cast<int>(i)) + " 0 obj\n<< /Type /Pages /Kids [";
      for (Ref kid : nodes[i].kids) appendReference(s, kid);
      s += " ] /Count " + std::to_string(nodes[i].count) + " /Parent";
      appendReference(s, nodes[i].parent);
      s += " >>\nendobj\n";
    }
    const std::uint64_t xrefAt = base + s.size();
    if (listOnlySome) {
      if (auto subset = listOnly(sections, reader, *trailer, trailerScan, catalog, pageRefs, listing->pages, out,
                                 rootText->substr(0, end), kids->second, offsets, base, xrefAt)) {
        writeListingSection(s, *subset, out, offsets, xrefAt, *trailer, trailerScan);
        out.subset = std::make_shared<ReadingSubset>(std::move(*subset));
        return out;
      }
    }
    auto entry = [&](std::uint64_t offset, int generation) {
      char line[32];
      std::snprintf(line, sizeof line, "%010llu %05d n\r\n", static_cast<unsigned long long>(offset), generation);
      s += line;
    };
    s += "xref\n" + std::to_string(root.getObj()) + " 1\n";
    entry(offsets[0], root.getGen());
    if (!nodes.empty()) s += std::to_string(out.firstNode) + " " + std::to_string(nodes.size()) + "\n";
    for (std::size_t i = 0; i < nodes.size(); ++i) entry(offsets[i + 1], 0);
    s += "trailer\n<< /Size " + std::to_string(out.firstNode + out.nodeCount);
    for (const char* key : {"/Root", "/Info", "/ID"})
      if (trailer->count(key)) s += std::string(" ") + key + " " + std::string(trailerScan.text(trailer->at(key)));
    s += " /Prev " + std::to_string(startxref) + " >>\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    return out;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace penvora::core::securepdf
