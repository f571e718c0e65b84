#include "core/securepdf/ExpansionLimit.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/FileInputSource.hh>

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
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/util/BoundedFile.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::uint64_t kDeflateMaxRatio = 1032;

bool flateOnly(QPDFObjectHandle filter) {
  if (filter.isName()) return filter.getName() == "/FlateDecode";
  return filter.isArray() && filter.getArrayNItems() == 1 && flateOnly(filter.getArrayItem(0));
}

// Measures each of `streams` against the limit; `asWritten`, when given,
// says from the file's text which can be let through without asking qpdf,
// whose reading of a stream's dictionary costs lookups in a table of every
// object (some milliseconds over a long document's thousand streams).
void checkStreams(QPDF& pdf, const std::vector<int>& streams, ExpansionLimit limit,
                  const std::function<std::optional<ObjectStreamText>(int)>& asWritten = {}) {
  auto allowedFor = [&](std::uint64_t compressed) {
    return std::max<std::uint64_t>(limit.floorBytes, limit.ratio * compressed);
  };
  auto cannotExceed = [&](std::uint64_t compressed) {
    return compressed * kDeflateMaxRatio + 1024 <= allowedFor(compressed);
  };
  for (int number : streams) {
    if (asWritten) {
      const auto text = asWritten(number);
      if (text && text->endsAtLength && (!text->deflated || cannotExceed(text->raw.size()))) continue;
    }
    const std::size_t warnings = pdf.numWarnings();
    QPDFObjectHandle stream = pdf.getObjectByID(number, 0);
    if (!stream.isStream()) continue;
    QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
    if (filter.isNull()) continue;
    if (const auto row = predictorRowBytes(stream); row > kMaxPredictorRowBytes)
      throw SecurePdfError("The document's object stream " + std::to_string(number) + " declares predictor rows of " +
                           std::to_string(row) + " bytes; it is refused as damaged");
    // Deflate cannot grow data more than 1032 times (a 258-byte match in
    // two bits at best): most streams need not be inflated to know, and
    // opening a long document does not cost inflating all of them. qpdf
    // checks a stream's /Length against its "endstream" as it reads the
    // stream and warns when they differ; only then is the length measured.
    if (flateOnly(filter)) {
      QPDFObjectHandle length = stream.getDict().getKey("/Length");
      if (pdf.numWarnings() == warnings && length.isInteger() && length.getIntValue() >= 0 &&
          cannotExceed(static_cast<std::uint64_t>(length.getIntValue())))
        continue;
    }
    const std::uint64_t compressed = stream.getRawStreamData()->getSize();
    if (flateOnly(filter) && cannotExceed(compressed)) continue;
    // The rest (LZW expands a thousandfold too, and a chain multiplies) is
    // decoded by qpdf's own decoders into a count that stops at the limit;
    // one qpdf cannot decode it cannot inflate either.
    const std::uint64_t allowed = allowedFor(compressed);
    BoundedCountPipeline count(allowed);
    try {
      (void)stream.pipeStreamData(&count, 0, qpdf_dl_specialized, true);
    } catch (const std::exception&) {
    }
    if (count.exceeded())
      throw SecurePdfError("The document's object stream " + std::to_string(number) + " expands beyond " +
                           std::to_string(allowed >> 20) + " MB (more than " + std::to_string(limit.ratio) +
                           " times its compressed size); it is refused as a decompression bomb");
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

}  // namespace

void checkObjectStreamExpansion(QPDF& pdf, std::string_view bytes, ExpansionLimit limit) {
  const auto tail = bytes.empty() ? std::nullopt : readXrefTail(bytes);
  const std::string_view file = tail ? bytes.substr(tail->headerOffset) : std::string_view();
  if (const auto sections = tail ? CrossReferenceSections::read(file, tail->startxref) : std::nullopt)
    return checkObjectStreamExpansionFrom(pdf, file, *sections, limit);
  checkStreams(pdf, objectStreamsFromTable(pdf), limit);
}

void checkObjectStreamExpansionFrom(QPDF& pdf, std::string_view file, const CrossReferenceSections& sections,
                                    ExpansionLimit limit) {
  if (const auto listed = objectStreamsFromXref(pdf, sections))
    checkStreams(pdf, measuringOrder(*listed, sections, file), limit,
                 [&](int stream) { return objectStreamText(sections, file, stream); });
  else
    checkStreams(pdf, objectStreamsFromTable(pdf), limit);
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
