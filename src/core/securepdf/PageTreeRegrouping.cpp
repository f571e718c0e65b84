#include "core/securepdf/PageTreeRegrouping.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <map>
#include <vector>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::size_t kFanOut = 16;      // kids per new node: a walk reads a few hundred references
constexpr int kNodeNumberGap = 1 << 20;  // past any number an update of the original takes
constexpr std::size_t kMaxObjectStreamBytes = 64u << 20;
constexpr int kMaxNesting = 64;

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }
bool isDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
         c == '%';
}
bool isRegular(char c) { return !isSpace(c) && !isDelimiter(c); }

// Steps over PDF syntax without building objects: enough to find one entry
// of a dictionary and the extent of its value. Every step fails on what it
// does not expect rather than guess.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  std::size_t skipSpace(std::size_t at) const {
    while (at < s_.size()) {
      if (isSpace(s_[at])) {
        ++at;
      } else if (s_[at] == '%') {
        while (at < s_.size() && s_[at] != '\n' && s_[at] != '\r') ++at;
      } else {
        break;
      }
    }
    return at;
  }

  std::optional<std::uint64_t> integer(std::size_t& at) const {
    std::uint64_t v = 0;
    std::size_t digits = 0;
    while (at < s_.size() && s_[at] >= '0' && s_[at] <= '9' && digits < 18) v = v * 10 + (s_[at++] - '0'), ++digits;
    if (!digits || (at < s_.size() && isRegular(s_[at]))) return std::nullopt;
    return v;
  }

  // "n g R" at `at` (after spaces); its end, or nothing.
  std::optional<std::size_t> reference(std::size_t at, int& number, int& generation) const {
    at = skipSpace(at);
    const auto n = integer(at);
    if (!n || *n == 0 || *n > INT_MAX) return std::nullopt;
    at = skipSpace(at);
    const auto g = integer(at);
    if (!g || *g > 65535) return std::nullopt;
    at = skipSpace(at);
    if (at >= s_.size() || s_[at] != 'R' || (at + 1 < s_.size() && isRegular(s_[at + 1]))) return std::nullopt;
    number = static_cast<int>(*n);
    generation = static_cast<int>(*g);
    return at + 1;
  }

  // The end of the one value at `at`.
  std::optional<std::size_t> skipValue(std::size_t at, int depth = 0) const {
    at = skipSpace(at);
    if (at >= s_.size() || depth > kMaxNesting) return std::nullopt;
    const char c = s_[at];
    if (c == '<' && at + 1 < s_.size() && s_[at + 1] == '<') {
      at += 2;
      for (;;) {
        at = skipSpace(at);
        if (s_.substr(at, 2) == ">>") return at + 2;
        if (at >= s_.size() || s_[at] != '/') return std::nullopt;
        at = skipName(at);
        const auto end = skipValue(at, depth + 1);
        if (!end) return std::nullopt;
        at = *end;
      }
    }
    if (c == '<') {
      const auto end = s_.find('>', at);
      return end == std::string_view::npos ? std::nullopt : std::optional<std::size_t>(end + 1);
    }
    if (c == '[') {
      ++at;
      for (;;) {
        at = skipSpace(at);
        if (at < s_.size() && s_[at] == ']') return at + 1;
        const auto end = skipValue(at, depth + 1);
        if (!end) return std::nullopt;
        at = *end;
      }
    }
    if (c == '(') {
      int open = 0;
      for (; at < s_.size(); ++at) {
        if (s_[at] == '\\') {
          ++at;
        } else if (s_[at] == '(') {
          ++open;
        } else if (s_[at] == ')' && --open == 0) {
          return at + 1;
        }
      }
      return std::nullopt;
    }
    if (c == '/') return skipName(at);
    if (!isRegular(c)) return std::nullopt;
    int n = 0, g = 0;
    if (const auto end = reference(at, n, g)) return end;
    while (at < s_.size() && isRegular(s_[at])) ++at;
    return at;
  }

  std::size_t skipName(std::size_t at) const {
    ++at;
    while (at < s_.size() && isRegular(s_[at])) ++at;
    return at;
  }

  struct Span {
    std::size_t begin = 0, end = 0;
  };
  // The top-level entries of the dictionary at `at`, each key's value's
  // extent; `end` is where the dictionary stops. Nothing on a repeated key.
  std::optional<std::map<std::string, Span>> dictionary(std::size_t at, std::size_t& end) const {
    at = skipSpace(at);
    if (s_.substr(at, 2) != "<<") return std::nullopt;
    at += 2;
    std::map<std::string, Span> entries;
    for (;;) {
      at = skipSpace(at);
      if (s_.substr(at, 2) == ">>") {
        end = at + 2;
        return entries;
      }
      if (at >= s_.size() || s_[at] != '/') return std::nullopt;
      const std::size_t keyEnd = skipName(at);
      std::string key(s_.substr(at, keyEnd - at));
      const std::size_t valueAt = skipSpace(keyEnd);
      const auto valueEnd = skipValue(valueAt, 1);
      if (!valueEnd || !entries.emplace(std::move(key), Span{valueAt, *valueEnd}).second) return std::nullopt;
      at = *valueEnd;
    }
  }

  std::string_view text(Span s) const { return s_.substr(s.begin, s.end - s.begin); }

  // Whether a dictionary that ends at `at` is a stream's.
  bool startsStream(std::size_t at) const { return s_.substr(skipSpace(at), 6) == "stream"; }

 private:
  std::string_view s_;
};

// An object's text: from after "n g obj" in the file, or its slice of the
// object stream holding it, inflated into `store` (and kept there for the
// next object of the same stream: the catalog and the page tree's root
// usually share one).
std::optional<std::string_view> objectText(const CrossReferenceSections& xref, std::string_view file, int number,
                                           int generation, util::Bytes& store, int& storedStream) {
  const auto entry = xref.find(number);
  if (!entry || entry->kind == XrefEntry::Kind::free) return std::nullopt;
  auto afterHeader = [&](std::uint64_t offset, int n, int g) -> std::optional<std::size_t> {
    if (offset >= file.size()) return std::nullopt;
    const Scanner scan(file);
    std::size_t at = scan.skipSpace(static_cast<std::size_t>(offset));
    const auto num = scan.integer(at);
    at = scan.skipSpace(at);
    const auto gen = num ? scan.integer(at) : std::nullopt;
    at = scan.skipSpace(at);
    if (!gen || *num != static_cast<std::uint64_t>(n) || *gen != static_cast<std::uint64_t>(g) ||
        file.substr(at, 3) != "obj")
      return std::nullopt;
    return at + 3;
  };
  if (entry->kind == XrefEntry::Kind::inFile) {
    if (entry->generation != generation) return std::nullopt;
    const auto at = afterHeader(entry->offset, number, generation);
    if (!at) return std::nullopt;
    return file.substr(*at);
  }
  if (generation != 0) return std::nullopt;
  const auto holder = xref.find(entry->stream);
  if (!holder || holder->kind != XrefEntry::Kind::inFile) return std::nullopt;
  const auto at = afterHeader(holder->offset, entry->stream, holder->generation);
  if (!at) return std::nullopt;
  // Its dictionary as text too: a /Length or /DecodeParms given by
  // reference is refused rather than looked up.
  const Scanner scan(file);
  std::size_t end = 0;
  const auto dict = scan.dictionary(*at, end);
  if (!dict || !dict->count("/Type") || scan.text(dict->at("/Type")) != "/ObjStm" || dict->count("/DecodeParms") ||
      !dict->count("/N") || !dict->count("/First") || !dict->count("/Length"))
    return std::nullopt;
  std::string_view filter = dict->count("/Filter") ? scan.text(dict->at("/Filter")) : "";
  if (filter.size() > 2 && filter.front() == '[' && filter.back() == ']') {
    filter = filter.substr(1, filter.size() - 2);
    while (!filter.empty() && isSpace(filter.front())) filter.remove_prefix(1);
    while (!filter.empty() && isSpace(filter.back())) filter.remove_suffix(1);
  }
  if (!filter.empty() && filter != "/FlateDecode") return std::nullopt;
  auto integerAt = [&](const char* key) {
    std::size_t p = dict->at(key).begin;
    const auto v = scan.integer(p);
    return v && p == dict->at(key).end ? v : std::nullopt;
  };
  const auto n = integerAt("/N"), first = integerAt("/First"), length = integerAt("/Length");
  if (!n || !first || !length || *n <= static_cast<std::uint64_t>(entry->index)) return std::nullopt;
  std::size_t data = scan.skipSpace(end);
  if (file.substr(data, 6) != "stream") return std::nullopt;
  data += 6;
  if (file.substr(data, 2) == "\r\n")
    data += 2;
  else if (file.substr(data, 1) == "\n")
    ++data;
  else
    return std::nullopt;
  if (*length > file.size() - data) return std::nullopt;
  const std::string_view raw = file.substr(data, static_cast<std::size_t>(*length));
  if (storedStream != entry->stream) {
    storedStream = 0;
    if (filter.empty()) {
      store.assign(raw.begin(), raw.end());
    } else {
      auto inflated = util::zlibInflate(raw, kMaxObjectStreamBytes);
      if (!inflated) return std::nullopt;
      store = std::move(*inflated);
    }
    storedStream = entry->stream;
  }
  // The header: pairs of object number and offset from /First.
  const std::string_view content = util::asChars(store);
  const std::uint64_t firstAt = *first;
  if (firstAt > content.size()) return std::nullopt;
  const Scanner header(content.substr(0, static_cast<std::size_t>(firstAt)));
  std::size_t pos = 0;
  std::uint64_t begin = 0, stop = content.size() - firstAt;
  for (std::uint64_t i = 0; i <= static_cast<std::uint64_t>(entry->index) + 1 && i < *n; ++i) {
    pos = header.skipSpace(pos);
    const auto obj = header.integer(pos);
    pos = header.skipSpace(pos);
    const auto offset = obj ? header.integer(pos) : std::nullopt;
    if (!offset) return std::nullopt;
    if (i == static_cast<std::uint64_t>(entry->index)) {
      if (*obj != static_cast<std::uint64_t>(number)) return std::nullopt;
      begin = *offset;
    } else if (i == static_cast<std::uint64_t>(entry->index) + 1) {
      stop = *offset;
    }
  }
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
  const auto sections = CrossReferenceSections::read(file, tail->startxref);
  if (!sections) return std::nullopt;
  return regroupFlatPageTree(file, tail->startxref, *sections, fromKids);
}

std::optional<RegroupedPageTree> regroupFlatPageTree(std::string_view file, std::uint64_t startxref,
                                                     const CrossReferenceSections& sections, std::size_t fromKids) {
  try {
    // Dictionaries are read as text: only the numbers of their references
    // are wanted, and qpdf would look for the objects behind them.
    const Scanner trailerScan(file);
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
    const Scanner catalogScan(*catalogText);
    const auto catalogEntries = catalogScan.dictionary(0, end);
    if (!catalogEntries || !catalogEntries->count("/Pages") || catalogScan.startsStream(end)) return std::nullopt;
    const auto pages = catalogEntries->at("/Pages");
    Ref pagesRef;
    if (catalogScan.reference(pages.begin, pagesRef.number, pagesRef.generation) != pages.end) return std::nullopt;
    const QPDFObjGen root(pagesRef.number, pagesRef.generation);
    const auto rootText = objectText(sections, file, root.getObj(), root.getGen(), store, storedStream);
    if (!rootText) return std::nullopt;

    const Scanner scan(*rootText);
    const auto entries = scan.dictionary(0, end);
    if (!entries || entries->count("/Parent") || scan.startsStream(end)) return std::nullopt;
    const auto kids = entries->find("/Kids"), count = entries->find("/Count"), type = entries->find("/Type");
    if (kids == entries->end() || count == entries->end() ||
        (type != entries->end() && scan.text(type->second) != "/Pages"))
      return std::nullopt;
    if ((*rootText)[kids->second.begin] != '[') return std::nullopt;  // an array given by reference, say
    std::vector<Ref> items;
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
