#include "core/securepdf/ReadingSubset.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>

#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {
namespace {

// How far a walk goes from an object: everything it leads to (the form,
// the permissions, the validation data); a page's own entries and its
// annotations; an annotation list's entries; or only the object's own
// entries.
enum class Reach { shallow, annotations, page, all };  // each reaches further than the one before

// Longer than any dictionary signing reads; a value running on past it
// (an unclosed string, say) is not read here.
constexpr std::size_t kMaxValueBytes = 4u << 20;

// An integer token as qpdf's parser takes it for a reference: clamped to
// the range of an int.
int clamped(const std::string& token) {
  const long long v = std::strtoll(token.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// The references (number and generation) of the value at the start of
// `text`, read with qpdf's own tokenizer as its parser reads them: two
// integers and the word R, comments and strings skipped as qpdf skips
// them. The reading ends where the value does (its closing bracket, or
// "endobj" or "stream" after it). Nothing for a token qpdf could not read
// cleanly, or a value too long.
std::optional<std::vector<QPDFObjGen>> referencesOf(std::string_view text) {
  std::vector<QPDFObjGen> found;
  if (text.empty()) return found;
  text = text.substr(0, kMaxValueBytes + 1);
  Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())), text.size());  // not copied
  const auto input = std::make_shared<BufferInputSource>("object", &buffer);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  int number = 0, generation = 0, integers = 0;  // the last two tokens, when integers
  // The brackets open, innermost last: qpdf closes a dictionary only at
  // ">>" and an array only at "]", and reads past a closer that does not
  // match (with a warning), so a value never ends here at one.
  std::string open;
  bool started = false;
  for (;;) {
    const QPDFTokenizer::Token token = tokenizer.readToken(input, "object", true);
    if (static_cast<std::size_t>(input->tell()) > kMaxValueBytes) return std::nullopt;
    switch (token.getType()) {
      case QPDFTokenizer::tt_eof:
        return found;
      case QPDFTokenizer::tt_bad:
        return std::nullopt;
      case QPDFTokenizer::tt_integer:
        number = generation;
        generation = clamped(token.getValue());
        integers = std::min(integers + 1, 2);
        started = true;
        continue;
      case QPDFTokenizer::tt_dict_open:
        open.push_back('<');
        break;
      case QPDFTokenizer::tt_array_open:
        open.push_back('[');
        break;
      case QPDFTokenizer::tt_dict_close:
      case QPDFTokenizer::tt_array_close:
        if (open.empty() || open.back() != (token.getType() == QPDFTokenizer::tt_dict_close ? '<' : '['))
          return std::nullopt;  // qpdf reads on; where it stops is not worked out here
        open.pop_back();
        if (open.empty()) return found;
        break;
      case QPDFTokenizer::tt_word: {
        const std::string& word = token.getValue();
        if (word == "R" && integers == 2) found.emplace_back(number, generation);
        if (open.empty() && started && (word == "endobj" || word == "stream" || word == "R")) return found;
        break;
      }
      default:
        break;
    }
    started = true;
    integers = 0;
  }
}

// The references inside the value of `key` of the dictionary `value`; an
// empty list when there is no such key, nothing when it cannot be read.
std::optional<std::vector<QPDFObjGen>> referencesUnder(std::string_view value, const char* key) {
  const SyntaxScanner scan(value);
  std::size_t end = 0;
  const auto entries = scan.dictionary(0, end);
  if (!entries) return std::nullopt;
  const auto found = entries->find(key);
  if (found == entries->end()) return std::vector<QPDFObjGen>{};
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
  // Object streams holding an object the walk reads: qpdf parses every
  // listed object of such a stream, so those are read too.
  std::set<int> readStreams;
  std::map<int, Reach> reached;
  std::vector<std::pair<int, Reach>> todo;
  std::function<void(int, Reach)> reach;
  // Lists what `og` names; a reference whose generation is not the one the
  // newest entry gives may mean an older object to qpdf: no subset then.
  auto list = [&](QPDFObjGen og) {
    const int n = og.getObj();
    if (!ok || n <= 0 || walk.definedBySection(og)) return;
    const auto e = sections.find(n);
    if (!e || e->kind == XrefEntry::Kind::free) return;  // null to qpdf with the whole table too
    if (generationOf(*e) != og.getGen()) {
      ok = false;
      return;
    }
    if (out.listed_.count(n)) return;
    out.listed_[n] = *e;
    if (e->kind == XrefEntry::Kind::inStream) {
      const auto holder = sections.find(e->stream);
      if (!holder || holder->kind != XrefEntry::Kind::inFile || walk.definedBySection(QPDFObjGen(e->stream, 0))) {
        ok = false;
        return;
      }
      out.listed_[e->stream] = *holder;
      if (readStreams.count(e->stream)) reach(n, Reach::shallow);
    }
    if (out.listed_.size() > kMaxListed) ok = false;
  };
  reach = [&](int n, Reach how) {
    if (!ok || !out.listed_.count(n)) return;
    if (how == Reach::all && page(n)) how = Reach::page;
    const auto before = reached.find(n);
    if (before != reached.end() && static_cast<int>(before->second) >= static_cast<int>(how)) return;
    reached[n] = how;
    todo.emplace_back(n, how);
    const XrefEntry& e = out.listed_.at(n);
    if (e.kind == XrefEntry::Kind::inStream && readStreams.insert(e.stream).second)
      for (const auto& [mate, entry] : out.listed_)
        if (entry.kind == XrefEntry::Kind::inStream && entry.stream == e.stream && !reached.count(mate))
          todo.emplace_back(mate, Reach::shallow), reached[mate] = Reach::shallow;
  };
  auto listAndReach = [&](QPDFObjGen og, Reach how) {
    list(og);
    reach(og.getObj(), how);
  };

  // The catalog's entries are listed; the form, the permissions and the
  // validation data are followed wherever they lead.
  list(walk.catalog);
  reach(walk.catalog.getObj(), Reach::shallow);
  if (walk.info) listAndReach(*walk.info, Reach::shallow);
  const auto catalog = reader.value(walk.catalog.getObj(), walk.catalog.getGen());
  if (!catalog) return std::nullopt;
  for (const char* key : {"/AcroForm", "/Perms", "/DSS", "/Extensions"}) {
    const auto under = referencesUnder(*catalog, key);
    if (!under) return std::nullopt;
    for (const QPDFObjGen& og : *under) listAndReach(og, Reach::all);
  }
  const auto rootRefs = referencesOf(walk.rootWithoutKids);
  if (!rootRefs) return std::nullopt;
  for (const QPDFObjGen& og : *rootRefs) list(og);
  for (std::size_t wanted : walk.wantedPages) {
    if (wanted >= walk.pages->size()) continue;
    const std::size_t first = wanted / walk.pagesPerGroup * walk.pagesPerGroup;
    for (std::size_t i = first; i < walk.pages->size() && i < first + walk.pagesPerGroup; ++i)
      listAndReach((*walk.pages)[i], Reach::page);
  }

  while (ok && !todo.empty()) {
    const auto [n, how] = todo.back();
    todo.pop_back();
    const XrefEntry& e = out.listed_.at(n);
    const auto value = reader.value(n, generationOf(e)), text = reader.text(n, generationOf(e));
    if (!value || !text) return std::nullopt;
    const auto refs = referencesOf(*text);
    if (!refs) return std::nullopt;
    out.written_[n] = *refs;
    for (const QPDFObjGen& r : *refs) list(r);
    if (how == Reach::all) {
      for (const QPDFObjGen& r : *refs) reach(r.getObj(), Reach::all);
    } else if (how == Reach::page) {
      const auto annotations = referencesUnder(*value, "/Annots");
      if (!annotations) return std::nullopt;
      // An indirect list of annotations, or the annotations themselves.
      for (const QPDFObjGen& r : *annotations) reach(r.getObj(), Reach::annotations);
    } else if (how == Reach::annotations) {
      for (const QPDFObjGen& r : *refs) reach(r.getObj(), Reach::shallow);
    }
  }
  if (!ok) return std::nullopt;
  return out;
}

bool ReadingSubset::onlyListedRead(const std::vector<std::uint64_t>& seeks, const CrossReferenceSections& sections,
                                   ObjectTextReader& reader, std::string_view section) const {
  std::vector<std::uint64_t> at(seeks);
  std::sort(at.begin(), at.end());
  auto seeked = [&](std::uint64_t offset) { return std::binary_search(at.begin(), at.end(), offset); };
  // What qpdf finds under `og` is what it would find with the whole table.
  auto same = [&](QPDFObjGen og) {
    if (og.getObj() <= 0 || definedBySection_(og)) return true;
    const auto e = sections.find(og.getObj());
    if (!e || e->kind == XrefEntry::Kind::free) return true;
    return listed_.count(og.getObj()) > 0 && generationOf(*e) == og.getGen();
  };
  for (const auto& [n, e] : listed_) {
    if (!seeked(e.kind == XrefEntry::Kind::inFile ? e.offset : listed_.at(e.stream).offset)) continue;
    // As written: what qpdf parsed, even where the work has replaced it
    // since, and without asking qpdf, which would read more.
    auto written = written_.find(n);
    if (written == written_.end()) {
      const auto text = reader.text(n, generationOf(e));
      if (!text) return false;
      auto refs = referencesOf(*text);
      if (!refs) return false;
      written = written_.emplace(n, std::move(*refs)).first;
    }
    for (const QPDFObjGen& r : written->second)
      if (!same(r)) return false;
  }
  for (const auto& [offset, span] : defined_) {
    if (!seeked(offset)) continue;
    if (span.second > section.size() || span.first > span.second) return false;
    const auto refs = referencesOf(section.substr(span.first, span.second - span.first));
    if (!refs) return false;
    for (const QPDFObjGen& r : *refs)
      if (!same(r)) return false;
  }
  return true;
}

}  // namespace penvora::core::securepdf
