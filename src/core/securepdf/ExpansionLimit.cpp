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
void checkStreams(QPDF& pdf, const std::vector<int>& streams, ExpansionLimit limit,
                  const std::function<std::optional<ObjectStreamText>(int)>& asWritten = {}) {
  for (int number : streams) {
    if (asWritten) {
      const auto text = asWritten(number);
      if (text && text->endsAtLength && (!text->deflated || limit.deflatedCannotExceed(text->raw.size()))) continue;
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
          limit.deflatedCannotExceed(static_cast<std::uint64_t>(length.getIntValue())))
        continue;
    }
    BoundedCountPipeline raw(UINT64_MAX);  // what it holds, counted as it streams past
    (void)stream.pipeStreamData(&raw, 0, qpdf_dl_none, true);
    if (deflated && limit.deflatedCannotExceed(raw.count())) continue;
    refuseIfExpanding(stream, raw.count(), what, limit);
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
  std::vector<int> first, later;
  std::map<int, std::set<int>> containers;
  for (int stream : streams) {
    const auto entry = sections.find(stream);
    std::set<int> into;
    if (entry && entry->kind == XrefEntry::Kind::inFile)
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
  return first;
}

// The object streams a rebuilt table would read from `file` (from its
// header on), measured where qpdf's table lists them elsewhere.
void checkAsRepairedFromTable(QPDF& pdf, std::string_view file, const std::vector<int>& streams, ExpansionLimit limit) {
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
      limit);
}

// The object streams qpdf's table lists, measured, and as a rebuild of the
// table would find them in `file` (when given): qpdf may not have come to a
// misplaced object yet.
void checkFromTable(QPDF& pdf, std::string_view file, ExpansionLimit limit) {
  const auto streams = objectStreamsFromTable(pdf);
  checkStreams(pdf, streams, limit);
  if (!file.empty() && !streams.empty()) checkAsRepairedFromTable(pdf, file, streams, limit);
}

// `n` bytes of `file` at `offset` (fewer at its end).
std::string readAt(InputSource& file, qpdf_offset_t offset, std::size_t n) {
  std::string out(n, '\0');
  file.seek(offset, SEEK_SET);
  out.resize(file.read(out.data(), n));
  return out;
}

}  // namespace

bool flateOnly(QPDFObjectHandle filter) {
  if (filter.isName()) return filter.getName() == "/FlateDecode";
  return filter.isArray() && filter.getArrayNItems() == 1 && flateOnly(filter.getArrayItem(0));
}

void refuseIfExpanding(QPDFObjectHandle stream, std::uint64_t compressed, const std::string& what,
                       ExpansionLimit limit) {
  const std::uint64_t allowed = limit.allowedFor(compressed);
  BoundedCountPipeline count(allowed);
  try {
    (void)stream.pipeStreamData(&count, 0, qpdf_dl_specialized, true);
  } catch (const std::exception&) {
  }
  if (count.exceeded()) refuseExpansion(what, allowed, limit);
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
  checkStreams(pdf, measuringOrder(*listed, sections, file), limit,
               [&](int stream) { return objectStreamText(sections, file, stream); });
  if (listed->empty() || sections.everyObjectWhereListed()) return;
  checkObjectStreamsAsRepaired(
      pdf, file, *listed,
      [&](int stream) -> std::optional<std::uint64_t> {
        const auto entry = sections.find(stream);
        if (!entry || entry->kind != XrefEntry::Kind::inFile) return std::nullopt;
        return entry->offset;
      },
      limit);
}

void checkObjectStreamExpansion(QPDF& pdf, InputSource& file, ExpansionLimit limit) {
  const auto streams = objectStreamsFromTable(pdf);
  checkStreams(pdf, streams, limit);
  if (streams.empty()) return;
  const qpdf_offset_t kept = file.tell();
  struct Restore {
    InputSource& file;
    qpdf_offset_t at;
    ~Restore() { file.seek(at, SEEK_SET); }
  } restore{file, kept};
  // qpdf counts its offsets from the header.
  const auto header = static_cast<qpdf_offset_t>(findHeaderOffset(readAt(file, 0, 1024)));
  bool misplaced = false;
  for (const auto& [og, entry] : pdf.getXRefTable()) {
    if (entry.getType() != 1) continue;
    // A header with more spaces or comments than this reads as misplaced,
    // which costs reading the file, never a missed rebuild.
    const std::string head = readAt(file, header + entry.getOffset(), 256);
    if (!afterObjectHeader(head, 0, og.getObj(), og.getGen())) {
      misplaced = true;
      break;
    }
  }
  if (!misplaced) return;
  constexpr qpdf_offset_t kMaxReadWhole = qpdf_offset_t{512} << 20;
  file.seek(0, SEEK_END);
  const qpdf_offset_t size = file.tell();
  if (size - header > kMaxReadWhole)
    throw SecurePdfError("The document's cross-reference table misplaces objects, and at " +
                         std::to_string(size >> 20) +
                         " MB it is too large to be checked for what a repair would read; it is refused as damaged");
  const std::string whole = readAt(file, header, static_cast<std::size_t>(size - header));
  checkAsRepairedFromTable(pdf, whole, streams, limit);
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
