#include "core/securepdf/PageTreeRegrouping.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <map>
#include <vector>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::size_t kFanOut = 16;      // kids per new node: a walk reads a few hundred references
constexpr int kNodeNumberGap = 1 << 20;  // past any number an update of the original takes
constexpr std::size_t kMaxObjectStreamBytes = 64u << 20;

// An object's text: from after "n g obj" in the file, or its slice of the
// object stream holding it, inflated into `store` (and kept there for the
// next object of the same stream: the catalog and the page tree's root
// usually share one).
std::optional<std::string_view> objectText(const CrossReferenceSections& xref, std::string_view file, int number,
                                           int generation, util::Bytes& store, int& storedStream) {
  const auto entry = xref.find(number);
  if (!entry || entry->kind == XrefEntry::Kind::free) return std::nullopt;
  if (entry->kind == XrefEntry::Kind::inFile) {
    if (entry->generation != generation) return std::nullopt;
    const auto at = afterObjectHeader(file, entry->offset, number, generation);
    if (!at) return std::nullopt;
    return file.substr(*at);
  }
  if (generation != 0) return std::nullopt;
  const auto stream = objectStreamText(xref, file, entry->stream);
  if (!stream || stream->objects <= static_cast<std::uint64_t>(entry->index)) return std::nullopt;
  if (storedStream != entry->stream) {
    storedStream = 0;
    if (!stream->deflated) {
      store.assign(stream->raw.begin(), stream->raw.end());
    } else {
      auto inflated = util::zlibInflate(stream->raw, kMaxObjectStreamBytes);
      if (!inflated) return std::nullopt;
      store = std::move(*inflated);
    }
    storedStream = entry->stream;
  }
  // The header: pairs of object number and offset from /First.
  const std::string_view content = util::asChars(store);
  const std::uint64_t firstAt = stream->first;
  if (firstAt > content.size()) return std::nullopt;
  // The whole header, not only up to the entry: qpdf takes an object by its
  // number, the last pair naming it winning, where others take the
  // entry's place. A number named twice is read here by neither.
  const auto pairs = objectStreamHeader(content, firstAt, stream->objects);
  const auto index = static_cast<std::size_t>(entry->index);
  if (pairs.size() != stream->objects || pairs[index].number != static_cast<std::uint64_t>(number) ||
      std::count_if(pairs.begin(), pairs.end(),
                    [&](const ObjectStreamPair& p) { return p.number == pairs[index].number; }) > 1)
    return std::nullopt;
  const std::uint64_t begin = pairs[index].offset,
                      stop = index + 1 < pairs.size() ? pairs[index + 1].offset : content.size() - firstAt;
  if (begin > stop || stop > content.size() - firstAt) return std::nullopt;
  return content.substr(static_cast<std::size_t>(firstAt + begin), static_cast<std::size_t>(stop - begin));
}

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
                                                     const CrossReferenceSections& sections, std::size_t fromKids) {
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

    util::Bytes store;
    int storedStream = 0;
    const auto catalogText = objectText(sections, file, catalog.number, catalog.generation, store, storedStream);
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
    const auto rootText = objectText(sections, file, root.getObj(), root.getGen(), store, storedStream);
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
    RegroupedPageTree out;
    out.originalObjectCount = static_cast<long long>(*size);
    out.root = root;
    // Past /Size and past any number the file uses (a /Size can be too
    // small), so no node hides an object of the file.
    const auto highest = sections.highestListed();
    if (!highest || *highest > INT_MAX / 2) return std::nullopt;
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
