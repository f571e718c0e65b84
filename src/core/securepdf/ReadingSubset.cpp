#include "core/securepdf/ReadingSubset.hpp"

#include <algorithm>

#include "core/securepdf/ObjectReferences.hpp"
#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {
namespace {

// How far a walk goes from an object: everything it leads to (the form,
// the permissions, the validation data); a page's own entries and its
// annotations; an annotation list's entries; or only the object's own
// entries.
enum class Reach { shallow, annotations, page, all };  // each reaches further than the one before

std::set<int> referencesOf(std::string_view value) {
  std::set<int> found;
  referencesWritten(value, 1, found);
  return found;
}

// The numbers referred to inside the value of `key` of the dictionary
// `value`; nothing when it cannot be read as one.
std::optional<std::set<int>> referencesUnder(std::string_view value, const char* key) {
  const SyntaxScanner scan(value);
  std::size_t end = 0;
  const auto entries = scan.dictionary(0, end);
  if (!entries) return std::nullopt;
  const auto found = entries->find(key);
  if (found == entries->end()) return std::set<int>{};
  return referencesOf(scan.text(found->second));
}

int generationOf(const XrefEntry& e) { return e.kind == XrefEntry::Kind::inFile ? e.generation : 0; }

}  // namespace

std::optional<ReadingSubset> ReadingSubset::find(const CrossReferenceSections& sections, ObjectTextReader& reader,
                                                 const Walk& walk) {
  ReadingSubset out;
  out.definedBySection_ = walk.definedBySection;
  // Which numbers are pages, by number: a set of every page costs more
  // than the rest of the walk.
  int highest = 0;
  for (const auto& p : *walk.pages) highest = std::max(highest, p.getObj());
  std::vector<char> isPage(static_cast<std::size_t>(highest) + 1, 0);
  for (const auto& p : *walk.pages)
    if (p.getObj() > 0) isPage[static_cast<std::size_t>(p.getObj())] = 1;
  auto page = [&](int n) { return n > 0 && n <= highest && isPage[static_cast<std::size_t>(n)]; };
  bool ok = true;
  auto list = [&](int n) {
    if (!ok || n <= 0 || out.listed_.count(n) || walk.definedBySection(n)) return;
    const auto e = sections.find(n);
    if (!e || e->kind == XrefEntry::Kind::free) return;  // null to qpdf with the whole table too
    out.listed_[n] = *e;
    if (e->kind == XrefEntry::Kind::inStream) {
      const auto holder = sections.find(e->stream);
      if (!holder || holder->kind != XrefEntry::Kind::inFile || walk.definedBySection(e->stream)) {
        ok = false;
        return;
      }
      out.listed_[e->stream] = *holder;
    }
    if (out.listed_.size() > kMaxListed) ok = false;
  };
  std::map<int, Reach> reached;
  std::vector<std::pair<int, Reach>> todo;
  auto reach = [&](int n, Reach how) {
    list(n);
    if (!ok || !out.listed_.count(n)) return;
    if (how == Reach::all && page(n)) how = Reach::page;
    const auto before = reached.find(n);
    if (before != reached.end() && static_cast<int>(before->second) >= static_cast<int>(how)) return;
    reached[n] = how;
    todo.emplace_back(n, how);
  };

  // The catalog's entries are listed; the form, the permissions and the
  // validation data are followed wherever they lead.
  list(walk.catalog.getObj());
  if (walk.info) list(walk.info->getObj());
  const auto catalog = reader.value(walk.catalog.getObj(), walk.catalog.getGen());
  if (!catalog) return std::nullopt;
  for (int n : referencesOf(*catalog)) list(n);
  for (const char* key : {"/AcroForm", "/Perms", "/DSS", "/Extensions"}) {
    const auto under = referencesUnder(*catalog, key);
    if (!under) return std::nullopt;
    for (int n : *under) reach(n, Reach::all);
  }
  for (int n : referencesOf(walk.rootWithoutKids)) list(n);
  for (std::size_t wanted : walk.wantedPages) {
    if (wanted >= walk.pages->size()) continue;
    const std::size_t first = wanted / walk.pagesPerGroup * walk.pagesPerGroup;
    for (std::size_t i = first; i < walk.pages->size() && i < first + walk.pagesPerGroup; ++i)
      reach((*walk.pages)[i].getObj(), Reach::page);
  }

  while (ok && !todo.empty()) {
    const auto [n, how] = todo.back();
    todo.pop_back();
    const XrefEntry& e = out.listed_.at(n);
    const auto value = reader.value(n, generationOf(e));
    if (!value) return std::nullopt;
    const std::set<int> refs = referencesOf(*value);
    out.written_[n] = std::vector<int>(refs.begin(), refs.end());
    for (int r : refs) list(r);
    if (how == Reach::all) {
      for (int r : refs) reach(r, Reach::all);
    } else if (how == Reach::page) {
      const auto annotations = referencesUnder(*value, "/Annots");
      if (!annotations) return std::nullopt;
      // An indirect list of annotations, or the annotations themselves.
      for (int r : *annotations) reach(r, Reach::annotations);
    } else if (how == Reach::annotations) {
      for (int r : refs) reach(r, Reach::shallow);
    }
  }
  if (!ok) return std::nullopt;
  return out;
}

bool ReadingSubset::onlyListedRead(QPDF& pdf, const std::vector<std::uint64_t>& seeks,
                                   const CrossReferenceSections& sections, ObjectTextReader& reader,
                                   std::string_view section) const {
  std::vector<std::uint64_t> at(seeks);
  std::sort(at.begin(), at.end());
  auto seeked = [&](std::uint64_t offset) { return std::binary_search(at.begin(), at.end(), offset); };
  auto allowed = [&](int r) {
    if (listed_.count(r) || definedBySection_(r)) return true;
    const auto e = sections.find(r);
    return !e || e->kind == XrefEntry::Kind::free;
  };
  for (const auto& [n, e] : listed_) {
    if (!seeked(e.kind == XrefEntry::Kind::inFile ? e.offset : listed_.at(e.stream).offset)) continue;
    // As written, for a value the work has replaced since; and as qpdf
    // parsed it, should the text be read otherwise here.
    auto written = written_.find(n);
    if (written == written_.end()) {
      const auto value = reader.value(n, generationOf(e));
      if (!value) return false;
      const std::set<int> refs = referencesOf(*value);
      written = written_.emplace(n, std::vector<int>(refs.begin(), refs.end())).first;
    }
    for (int r : written->second)
      if (!allowed(r)) return false;
    std::set<QPDFObjGen> parsed;
    referencesIn(pdf.getObjectByID(n, generationOf(e)), parsed);
    for (const QPDFObjGen& r : parsed)
      if (!allowed(r.getObj())) return false;
  }
  for (const auto& [offset, span] : defined_) {
    if (!seeked(offset)) continue;
    if (span.second > section.size() || span.first > span.second) return false;
    for (int r : referencesOf(section.substr(span.first, span.second - span.first)))
      if (!allowed(r)) return false;
  }
  return true;
}

}  // namespace penvora::core::securepdf
