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

// The object numbers written as references ("n g R") in the dictionary of
// the object at `entry` (to its "stream" keyword, 64 kB at most); letters
// inside strings may count too, which only orders more carefully.
std::set<int> referencesBeforeData(std::string_view file, const XrefEntry& entry, int number) {
  std::set<int> found;
  const auto at = afterObjectHeader(file, entry.offset, number, entry.generation);
  if (!at) return found;
  std::string_view dict = file.substr(static_cast<std::size_t>(*at), 65536);
  dict = dict.substr(0, std::min(dict.size(), dict.find("stream")));
  const SyntaxScanner scan(dict);
  for (std::size_t p = 0; p < dict.size(); ++p) {
    if (dict[p] < '0' || dict[p] > '9' || (p > 0 && isPdfRegular(dict[p - 1]))) continue;
    int n = 0, g = 0;
    if (scan.reference(p, n, g)) found.insert(n);
  }
  return found;
}

// Object streams in an order in which measuring one never makes qpdf
// inflate another not yet measured: reading a stream's dictionary resolves
// what it refers to (a /Length, say), and an object inside another object
// stream is read by inflating that stream whole. Those that refer into
// object streams come last; one that refers into another of them, or into
// itself, is refused.
std::vector<int> measuringOrder(const std::vector<int>& streams, const CrossReferenceSections& sections,
                                std::string_view file) {
  std::vector<int> first, later, unlisted;
  std::map<int, std::set<int>> containers;
  for (int stream : streams) {
    const auto entry = sections.find(stream);
    // qpdf reads it as generation 0, from an older section or nowhere: its
    // dictionary is not known here, so it comes after every other.
    if (!entry || entry->kind != XrefEntry::Kind::inFile || entry->generation != 0) {
      unlisted.push_back(stream);
      continue;
    }
    std::set<int> into;
    for (int referred : referencesBeforeData(file, *entry, stream))
      if (const auto held = sections.find(referred); held && held->kind == XrefEntry::Kind::inStream)
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

// The object streams a rebuilt table would read from `file` (from its
// header on), measured where qpdf's table lists them elsewhere.
void checkAsRepairedFromTable(QPDF& pdf, std::string_view file, const std::vector<int>& streams, ExpansionLimit limit,
                              ExpansionBudget& together) {
  std::map<int, std::uint64_t> listed;
  for (const auto& [og, entry] : pdf.getXRefTable())
    if (entry.getType() == 1 && og.getGen() == 0) listed[og.getObj()] = static_cast<std::uint64_t>(entry.getOffset());
  checkObjectStreamsAsRepaired(
      pdf, file, streams,
      [&](int stream) -> std::optional<std::uint64_t> {
        const auto found = listed.find(stream);
        if (found == listed.end()) return std::nullopt;
        return found->second;
      },
      limit, together);
}

// The object streams qpdf's table lists, measured, and as a rebuild of the
// table would find them in `file` (when given): qpdf may not have come to a
// misplaced object yet.
void checkFromTable(QPDF& pdf, std::string_view file, ExpansionLimit limit) {
  ExpansionBudget together = file.empty() ? ExpansionBudget() : ExpansionBudget(file.size(), limit);
  const auto streams = objectStreamsFromTable(pdf);
  // What a rebuild would read first, as above.
  if (!file.empty() && !streams.empty()) checkAsRepairedFromTable(pdf, file, streams, limit, together);
  checkStreams(pdf, streams, limit, together);
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
  if (misplaced)
    checkObjectStreamsAsRepaired(
        pdf, file, *listed,
        [&](int stream) -> std::optional<std::uint64_t> {
          const auto entry = sections.find(stream);
          if (!entry || entry->kind != XrefEntry::Kind::inFile) return std::nullopt;
          return entry->offset;
        },
        limit, together);
  checkStreams(pdf, measuringOrder(*listed, sections, file), limit, together,
               [&](int stream) -> std::optional<ObjectStreamText> {
                 if (misplaced) return std::nullopt;
                 return objectStreamText(sections, file, stream);
               });
}

void checkObjectStreamExpansion(QPDF& pdf, InputSource& file, ExpansionLimit limit) {
  const qpdf_offset_t kept = file.tell();
  file.seek(0, SEEK_END);
  ExpansionBudget together(static_cast<std::uint64_t>(file.tell()), limit);
  file.seek(kept, SEEK_SET);
  // Each read through qpdf, which keeps it: a table rebuilt later does not
  // replace an object stream qpdf has read already.
  checkStreams(pdf, objectStreamsFromTable(pdf), limit, together);
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
