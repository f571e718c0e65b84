#include "core/securepdf/ExpansionLimit.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/FileInputSource.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/securepdf/BoundedStringPipeline.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectStreamList.hpp"
#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/PredictorRows.hpp"
#include "core/securepdf/RepairedObjectStreams.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/util/BoundedFile.hpp"

namespace penvora::core::securepdf {
namespace {

// Measures each of `streams` against the limit; `asWritten`, when given,
// says from the file's text which can be let through without asking qpdf,
// whose reading of a stream's dictionary costs lookups in a table of every
// object (some milliseconds over a long document's thousand streams).
void checkStreams(QPDF& pdf, const std::vector<int>& streams, ExpansionLimit limit, ExpansionBudget& together,
                  const std::function<std::optional<ObjectStreamText>(int)>& asWritten = {}) {
  for (int number : streams) {
    if (asWritten) {
      const auto text = asWritten(number);
      if (text && text->endsAtLength && (!text->deflated || limit.deflatedCannotExceed(text->raw.size()))) {
        if (text->deflated) together.addListed(text->raw.size());
        continue;
      }
    }
    const std::size_t warnings = pdf.numWarnings();
    QPDFObjectHandle stream = pdf.getObjectByID(number, 0);
    if (!stream.isStream()) continue;
    QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
    if (filter.isNull()) continue;
    const std::string what = "object stream " + std::to_string(number);
    refuseHugePredictorRows(stream, what);
    // qpdf checks a stream's /Length against its "endstream" as it reads
    // the stream and warns when they differ; only then is it measured.
    const bool deflated = flateOnly(filter);
    if (deflated) {
      QPDFObjectHandle length = stream.getDict().getKey("/Length");
      if (pdf.numWarnings() == warnings && length.isInteger() && length.getIntValue() >= 0 &&
          limit.deflatedCannotExceed(static_cast<std::uint64_t>(length.getIntValue()))) {
        together.addListed(static_cast<std::uint64_t>(length.getIntValue()));
        continue;
      }
    }
    BoundedCountPipeline raw(UINT64_MAX);  // what it holds, counted as it streams past
    (void)stream.pipeStreamData(&raw, 0, qpdf_dl_none, true);
    together.addListed(raw.count());
    if (deflated && limit.deflatedCannotExceed(raw.count())) continue;
    refuseIfExpanding(stream, raw.count(), what, limit, together);
  }
}

// The object numbers written as references ("n g R") in `dictionary`, an
// object's text after its "n g obj", up to its "stream" keyword (64 kB at
// most); letters inside strings may count too, which only orders more
// carefully.
std::set<int> referencesBeforeData(std::string_view dictionary) {
  std::set<int> found;
  std::string_view dict = dictionary.substr(0, 65536);
  dict = dict.substr(0, std::min(dict.size(), dict.find("stream")));
  const SyntaxScanner scan(dict);
  for (std::size_t p = 0; p < dict.size(); ++p) {
    if (dict[p] < '0' || dict[p] > '9' || (p > 0 && isPdfRegular(dict[p - 1]))) continue;
    int n = 0, g = 0;
    if (scan.reference(p, n, g)) found.insert(n);
  }
  return found;
}

// An in-file object's text after its "n g obj" header, nothing when the
// header is not there.
using TextAfterHeader = std::function<std::optional<std::string_view>(const XrefEntry&, int)>;

// Object streams in an order in which measuring one never makes qpdf
// inflate another not yet measured: reading a stream's dictionary resolves
// what it refers to (a /Length, say), and an object inside another object
// stream is read by inflating that stream whole. Those that refer into
// object streams come after the others; one that refers into another of
// them, or into itself, is refused; one not in the file as generation 0
// (held in another stream, say), whose dictionary is not known here, last.
std::vector<int> measuringOrder(const std::vector<int>& streams, const XrefLookup& entryOf,
                                const TextAfterHeader& textOf) {
  std::vector<int> first, later, unlisted;
  std::map<int, std::set<int>> containers;
  for (int stream : streams) {
    const auto entry = entryOf(stream);
    const auto text = entry && entry->kind == XrefEntry::Kind::inFile && entry->generation == 0 ? textOf(*entry, stream)
                                                                                                : std::nullopt;
    if (!text) {
      unlisted.push_back(stream);
      continue;
    }
    std::set<int> into;
    for (int referred : referencesBeforeData(*text))
      if (const auto held = entryOf(referred); held && held->kind == XrefEntry::Kind::inStream)
        into.insert(held->stream);
    (into.empty() ? first : later).push_back(stream);
    if (!into.empty()) containers[stream] = std::move(into);
  }
  for (const auto& [stream, into] : containers)
    for (int container : into)
      if (containers.count(container))
        throw SecurePdfError("The document's object stream " + std::to_string(stream) +
                             " is described by an object inside object stream " + std::to_string(container) +
                             ", itself so described; it is refused as damaged");
  first.insert(first.end(), later.begin(), later.end());
  first.insert(first.end(), unlisted.begin(), unlisted.end());
  return first;
}

// The text after an object's header in `file`, from its entry.
TextAfterHeader textIn(std::string_view file) {
  return [file](const XrefEntry& entry, int number) -> std::optional<std::string_view> {
    const auto at = afterObjectHeader(file, entry.offset, number, entry.generation);
    if (!at) return std::nullopt;
    return file.substr(*at);
  };
}

// qpdf's own table, as generation-0 entries by number.
XrefLookup tableEntries(QPDF& pdf) {
  auto entries = std::make_shared<std::map<int, XrefEntry>>();
  for (const auto& [og, e] : pdf.getXRefTable()) {
    if (og.getGen() != 0) continue;
    XrefEntry x;
    if (e.getType() == 1) {
      x.kind = XrefEntry::Kind::inFile;
      x.offset = static_cast<std::uint64_t>(e.getOffset());
    } else if (e.getType() == 2) {
      x.kind = XrefEntry::Kind::inStream;
      x.stream = e.getObjStreamNumber();
      x.index = e.getObjStreamIndex();
    }
    (*entries)[og.getObj()] = x;
  }
  return [entries](int n) -> std::optional<XrefEntry> {
    const auto found = entries->find(n);
    if (found == entries->end()) return std::nullopt;
    return found->second;
  };
}

// The object streams qpdf's table lists, measured, and as a rebuild of the
// table would find them in `file` (when given): qpdf may not have come to a
// misplaced object yet.
void checkFromTable(QPDF& pdf, std::string_view file, ExpansionLimit limit) {
  ExpansionBudget together = file.empty() ? ExpansionBudget() : ExpansionBudget(file.size(), limit);
  const auto streams = objectStreamsFromTable(pdf);
  if (streams.empty()) return;
  const XrefLookup table = tableEntries(pdf);
  // What a rebuild would read first, as below.
  if (!file.empty()) checkObjectStreamsAsRepaired(pdf, file, streams, table, limit, together);
  checkStreams(pdf, measuringOrder(streams, table, textIn(file)), limit, together);
}

}  // namespace

bool flateOnly(QPDFObjectHandle filter) {
  if (filter.isName()) return filter.getName() == "/FlateDecode";
  return filter.isArray() && filter.getArrayNItems() == 1 && flateOnly(filter.getArrayItem(0));
}

void ExpansionBudget::addListed(std::uint64_t bytes) {
  compressed += bytes;
  if (compressed > fileSize)
    throw SecurePdfError("The document's object streams overlap one another; it is refused as damaged");
}

void refuseIfExpanding(QPDFObjectHandle stream, std::uint64_t compressed, const std::string& what, ExpansionLimit limit,
                       ExpansionBudget& together) {
  const std::uint64_t own = limit.allowedFor(compressed);
  const std::uint64_t left = together.allowed - std::min(together.allowed, together.inflated);
  BoundedCountPipeline count(std::min(own, left));
  try {
    (void)stream.pipeStreamData(&count, 0, qpdf_dl_specialized, true);
  } catch (const std::exception&) {
  }
  together.inflated += count.count();
  if (!count.exceeded()) return;
  if (own <= left) refuseExpansion(what, own, limit);
  throw SecurePdfError("The document's object streams together expand beyond " +
                       std::to_string(together.allowed >> 20) + " MB (more than " + std::to_string(limit.ratio) +
                       " times the file's size); it is refused as a decompression bomb");
}

void refuseExpansion(const std::string& what, std::uint64_t allowed, ExpansionLimit limit) {
  throw SecurePdfError("The document's " + what + " expands beyond " + std::to_string(allowed >> 20) +
                       " MB (more than " + std::to_string(limit.ratio) +
                       " times its compressed size); it is refused as a decompression bomb");
}

void checkObjectStreamExpansion(QPDF& pdf, std::string_view bytes, ExpansionLimit limit) {
  const auto tail = bytes.empty() ? std::nullopt : readXrefTail(bytes);
  const std::string_view file = tail ? bytes.substr(tail->headerOffset) : std::string_view();
  if (const auto sections = tail ? CrossReferenceSections::read(file, tail->startxref) : std::nullopt)
    return checkObjectStreamExpansionFrom(pdf, file, *sections, limit);
  checkFromTable(pdf, file, limit);
}

void checkObjectStreamExpansionFrom(QPDF& pdf, std::string_view file, const CrossReferenceSections& sections,
                                    ExpansionLimit limit) {
  const auto listed = objectStreamsFromXref(pdf, sections);
  if (!listed) return checkFromTable(pdf, file, limit);
  ExpansionBudget together(file.size(), limit);
  // Where a misplaced object will make qpdf rebuild its table, what a
  // rebuild would read is measured first, from the text (a rebuild may come
  // while qpdf reads the streams below); then every object stream is read
  // through qpdf, which keeps it: a rebuilt table does not replace what
  // qpdf has read.
  const bool misplaced = !listed->empty() && !sections.everyObjectWhereListed();
  const XrefLookup find = [&](int n) { return sections.find(n); };
  if (misplaced) checkObjectStreamsAsRepaired(pdf, file, *listed, find, limit, together);
  checkStreams(pdf, measuringOrder(*listed, find, textIn(file)), limit, together,
               [&](int stream) -> std::optional<ObjectStreamText> {
                 if (misplaced) return std::nullopt;
                 return objectStreamText(sections, file, stream);
               });
}

bool everyObjectStreamMeasuredFromText(std::string_view file, const CrossReferenceSections& sections,
                                       ExpansionLimit limit) {
  if (!sections.everyObjectWhereListed()) return false;
  for (int stream : sections.objectStreams()) {
    const auto text = objectStreamText(sections, file, stream);
    if (!text || !text->endsAtLength || (text->deflated && !limit.deflatedCannotExceed(text->raw.size()))) return false;
  }
  return true;
}

void checkObjectStreamExpansion(QPDF& pdf, InputSource& file, ExpansionLimit limit) {
  const auto streams = objectStreamsFromTable(pdf);
  if (streams.empty()) return;
  const qpdf_offset_t kept = file.tell();
  struct Restore {
    InputSource& file;
    qpdf_offset_t at;
    ~Restore() { file.seek(at, SEEK_SET); }
  } restore{file, kept};
  file.seek(0, SEEK_END);
  ExpansionBudget together(static_cast<std::uint64_t>(file.tell()), limit);
  auto readAt = [&](qpdf_offset_t offset, std::size_t n) {
    std::string out(n, '\0');
    file.seek(offset, SEEK_SET);
    out.resize(file.read(out.data(), n));
    return out;
  };
  // qpdf counts its offsets from the header.
  const auto header = static_cast<qpdf_offset_t>(findHeaderOffset(readAt(0, kHeaderSearchBytes)));
  std::string window;  // the one dictionary being looked at
  const TextAfterHeader textOnDisk = [&](const XrefEntry& entry, int number) -> std::optional<std::string_view> {
    window = readAt(header + static_cast<qpdf_offset_t>(entry.offset), 65536 + 256);
    const auto at = afterObjectHeader(window, 0, number, entry.generation);
    if (!at) return std::nullopt;
    return std::string_view(window).substr(*at);
  };
  // Each read through qpdf, which keeps it: a table rebuilt later does not
  // replace an object stream qpdf has read already.
  checkStreams(pdf, measuringOrder(streams, tableEntries(pdf), textOnDisk), limit, together);
}

void checkCrossReferenceExpansion(std::string_view bytes) {
  CrossReferenceSections::refuseStreamBombs(bytes.size(), CrossReferenceSections::readerOver(bytes));
}

void checkCrossReferenceExpansion(int fd, std::uint64_t size) {
  CrossReferenceSections::refuseStreamBombs(size, [fd](std::uint64_t offset, std::uint64_t n) {
    std::string bytes(static_cast<std::size_t>(n), '\0');
    // A file that changed meanwhile reads as nothing here; qpdf reports it.
    return util::readFullyAt(fd, offset, bytes.data(), bytes.size()) ? bytes : std::string();
  });
}

std::shared_ptr<InputSource> measuredFileInput(util::RegularFile& opened, const std::string& path) {
  checkCrossReferenceExpansion(opened.fd(), opened.size());
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(opened.releaseAsStream(), &std::fclose);
  if (!file) return nullptr;
  auto source = std::make_shared<FileInputSource>(path.c_str(), file.get(), true);
  (void)file.release();  // the source closes it now
  return source;
}

}  // namespace penvora::core::securepdf
