#include "core/securepdf/ExpansionLimit.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/FileInputSource.hh>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/securepdf/BoundedStringPipeline.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectStreamList.hpp"
#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/PredictorRows.hpp"
#include "core/securepdf/SecurePdfError.hpp"
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
    checkStreams(pdf, *listed, limit, [&](int stream) { return objectStreamText(sections, file, stream); });
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
