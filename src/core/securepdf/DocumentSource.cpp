#include "core/securepdf/DocumentSource.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/FileInputSource.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/ExpansionLimit.hpp"
#include "core/securepdf/JoinedInputSource.hpp"
#include "core/securepdf/ObjectReferences.hpp"
#include "core/securepdf/ObjectStreamList.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SignatureFieldList.hpp"
#include "core/util/BoundedFile.hpp"

namespace penvora::core::securepdf {

namespace {

// `bytes`: the file qpdf reads, when it is in memory; `sections`: its
// cross-reference sections, when they were read already (`bytes` is then
// the file from its header on); `onDisk`: the input qpdf reads, when it
// reads the file where it lies.
std::unique_ptr<QPDF> process(const std::function<void(QPDF&)>& load, std::string_view bytes = {},
                              const CrossReferenceSections* sections = nullptr, InputSource* onDisk = nullptr) {
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  try {
    // qpdf inflates cross-reference streams whole while it opens a file.
    if (!sections && !bytes.empty()) checkCrossReferenceExpansion(bytes);
    load(*pdf);
    // Before anything inflates an object stream.
    if (sections)
      checkObjectStreamExpansionFrom(*pdf, bytes, *sections);
    else if (onDisk)
      checkObjectStreamExpansion(*pdf, *onDisk);
    else
      checkObjectStreamExpansion(*pdf, bytes);
    // Touch what signing needs so damage shows now, not halfway through.
    if (!pdf->getRoot().isDictionary()) throw SecurePdfError("The document has no catalog");
    if (!pageAt(*pdf, 0)) throw SecurePdfError("The document has no pages");
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() == qpdf_e_password)
      throw SecurePdfError("The PDF password is incorrect", SecurePdfError::Kind::wrongPassword);
    throw SecurePdfError(std::string("The input is not a readable PDF: ") + e.getMessageDetail());
  } catch (const SecurePdfError&) {
    throw;
  } catch (const std::exception& e) {
    throw SecurePdfError(std::string("The input is not a readable PDF: ") + e.what());
  }
  return pdf;
}

// Whether the document holds a signature (or a certification) whose bytes
// must not change.
bool carriesSignatures(QPDF& pdf) {
  try {
    if (pdf.getRoot().getKey("/Perms").isDictionary()) return true;
    for (const auto& f : listSignatureFields(pdf))
      if (f.isSigned) return true;
  } catch (const std::exception&) {
    return true;  // cannot tell: treat it as signed, so it is not rewritten
  }
  return false;
}

// The input opened once, a regular file with bytes; every refusal says
// what the path really is (missing, a folder, a pipe or device, unreadable).
util::RegularFile openReadable(const std::string& path) {
  if (path.empty()) throw SecurePdfError("No input file given");
  try {
    util::RegularFile file(path, "The input file");
    if (file.size() == 0) throw SecurePdfError("The input file is empty: " + path);
    return file;
  } catch (const util::FileReadError& e) {
    throw SecurePdfError(e.what());
  }
}

}  // namespace

// Files up to this size are parsed from memory: qpdf's many small seeks
// and reads on a file cost more than reading it once. Larger files are
// parsed from disk so memory stays well below their size.
constexpr std::uintmax_t kParseInMemoryLimit = 32u << 20;

namespace {

// The whole input from one opening, or the open file when it is large.
struct Opened {
  std::shared_ptr<const std::string> bytes;
  std::shared_ptr<std::FILE> file;
  std::uint64_t size = 0;
};

Opened openInput(const std::string& path) {
  util::RegularFile opened = openReadable(path);
  Opened o;
  o.size = opened.size();
  if (o.size > kParseInMemoryLimit) {
    std::FILE* f = opened.releaseAsStream();
    if (!f) throw SecurePdfError("The input file cannot be read: " + path + ": " + std::strerror(errno));
    o.file.reset(f, [](std::FILE* file) { std::fclose(file); });
    return o;
  }
  auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(o.size), '\0');
  if (!util::readFullyAt(opened.fd(), 0, bytes->data(), bytes->size()))
    throw SecurePdfError("The input file changed while it was read: " + path);
  o.bytes = std::move(bytes);
  return o;
}

// A qpdf model over the opened bytes; they must outlive it. A long
// document whose pages hang from one node is read through its page tree
// regrouped, unless qpdf finds anything to warn about that way: then it
// reads the file as it is, so a repair works on the original. Gives the
// tail of bytes in memory, read on the way; nothing for a file on disk.
std::optional<XrefTail> parse(DocumentSource& src, const Opened& o, const std::string& password,
                              const std::optional<SubsetRequest>& listing) {
  // Read again: the model goes before what it reads from.
  src.pdf.reset();
  src.parsedSection.reset();
  src.regrouped.reset();
  src.seeks.reset();
  if (!o.bytes) {
    auto source = std::make_shared<FileInputSource>(src.path.c_str(), o.file.get(), false);
    src.pdf = process(
        [&](QPDF& q) {
          checkCrossReferenceExpansion(fileno(o.file.get()), o.size);
          q.processInputSource(source, password.c_str());
        },
        {}, nullptr, source.get());
    return std::nullopt;
  }
  // The whole chain of cross-reference streams first: reading the sections
  // below stops at the first it cannot use, and qpdf does not.
  checkCrossReferenceExpansion(*o.bytes);
  // Read once, for the regrouping and the object streams' check; when they
  // cannot be read here, the check takes qpdf's table.
  const auto tail = readXrefTail(*o.bytes);
  src.headerOffset = tail ? tail->headerOffset : 0;
  const std::string_view file = std::string_view(*o.bytes).substr(src.headerOffset);
  std::shared_ptr<const CrossReferenceSections> sections;
  if (auto read = tail ? CrossReferenceSections::read(file, tail->startxref) : std::nullopt)
    sections = std::make_shared<const CrossReferenceSections>(std::move(*read));
  src.sections = sections;
  if (const auto highest = sections ? sections->highestListed() : std::nullopt; highest && *highest < INT_MAX)
    src.taken.listedPast = *highest + 1;
  // The bytes, and a section read after them, are not copied: the source
  // reads them where they are.
  auto fromMemory = [&](std::string_view section, std::shared_ptr<std::vector<std::uint64_t>> seeks = nullptr) {
    auto source = std::make_shared<JoinedInputSource>(src.path, *o.bytes, section);
    source->logSeeks(std::move(seeks));
    return process([&](QPDF& q) { q.processInputSource(source, password.c_str()); }, sections ? file : "",
                   sections ? &*sections : nullptr);
  };
  // A file whose table misplaces an object is repaired, written out from
  // what qpdf reads: its page tree must then be the file's own.
  if (auto regrouped = sections && sections->everyObjectWhereListed()
                           ? regroupFlatPageTree(
                                 file, tail->startxref, *sections, kRegroupFromKids,
                                 listing && everyObjectStreamMeasuredFromText(file, *sections) ? listing : std::nullopt)
                           : std::nullopt) {
    auto section = std::make_shared<const std::string>(std::move(regrouped->section));
    regrouped->section.clear();
    auto seeks = regrouped->subset ? std::make_shared<std::vector<std::uint64_t>>() : nullptr;
    try {
      auto pdf = fromMemory(*section, seeks);
      if (!pdf->anyWarnings()) {
        src.parsedSection = std::move(section);
        src.pdf = std::move(pdf);
        src.regrouped = std::move(regrouped);
        src.seeks = std::move(seeks);
        return tail;
      }
    } catch (const SecurePdfError&) {
      // Read as it is below, which says what is wrong with it.
    }
  }
  src.parsedSection.reset();
  src.regrouped.reset();
  src.pdf = fromMemory({});
  return tail;
}

// The numbers past those the file lists that its text refers to: the
// plain bytes, and the object streams as qpdf decodes them (decrypted).
std::set<int> referencedPastListed(const DocumentSource& src) {
  QPDF& pdf = *src.pdf;
  QPDFObjectHandle size = pdf.getTrailer().getKey("/Size");
  long long declared = src.regrouped ? src.regrouped->originalObjectCount : size.isInteger() ? size.getIntValue() : 0;
  if (src.taken.listedPast > 0) declared = std::min<long long>(declared, src.taken.listedPast);
  const int from = static_cast<int>(std::clamp<long long>(declared, 0, INT_MAX));
  std::set<int> referenced;
  if (src.bytes) {
    referencesWritten(*src.bytes, from, referenced);
  } else {
    // In slices that overlap by more than the longest reference.
    constexpr std::size_t kSlice = 4u << 20, kOverlap = 64;
    std::string slice;
    for (std::uint64_t at = 0; at < src.originalSize; at += kSlice - kOverlap) {
      slice.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kSlice, src.originalSize - at)));
      src.read(at, slice.data(), slice.size());
      referencesWritten(slice, from, referenced);
      if (at + slice.size() >= src.originalSize) break;
    }
  }
  const auto listed = src.sections ? objectStreamsFromXref(pdf, *src.sections) : std::nullopt;
  referencesWrittenInObjectStreams(pdf, listed ? *listed : objectStreamsFromTable(pdf), from, referenced);
  return referenced;
}

// Whether the original's bytes hold "/ByteRange" anywhere: a damaged file
// is asked this before it is rewritten, as a signature some tool put on its
// page alone, outside the form, is not found through the form.
bool mentionsByteRange(const DocumentSource& src) {
  constexpr std::string_view key = "/ByteRange";
  if (src.bytes) return std::string_view(*src.bytes).find(key) != std::string_view::npos;
  constexpr std::size_t kSlice = 4u << 20;
  std::string slice;
  for (std::uint64_t at = 0; at < src.originalSize; at += kSlice - key.size()) {
    slice.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kSlice, src.originalSize - at)));
    src.read(at, slice.data(), slice.size());
    if (slice.find(key) != std::string::npos) return true;
    if (at + slice.size() >= src.originalSize) break;
  }
  return false;
}

}  // namespace

std::unique_ptr<QPDF> openForReading(const std::string& path, const std::string& password) {
  util::RegularFile opened = openReadable(path);
  const auto size = opened.size();
  if (size <= kParseInMemoryLimit) {
    auto buffer = std::make_unique<Buffer>(static_cast<std::size_t>(size));
    if (util::readFullyAt(opened.fd(), 0, reinterpret_cast<char*>(buffer->getBuffer()),
                          static_cast<std::size_t>(size))) {
      const std::string_view bytes(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
      auto source = std::make_shared<BufferInputSource>(path, buffer.release(), true);
      return process([&](QPDF& q) { q.processInputSource(source, password.c_str()); }, bytes);
    }
  }
  const auto source = measuredFileInput(opened, path);
  if (!source) throw SecurePdfError("The input file cannot be read: " + path + ": " + std::strerror(errno));
  return process([&](QPDF& q) { q.processInputSource(source, password.c_str()); }, {}, nullptr, source.get());
}

std::shared_ptr<const std::string> readWholeFile(const std::string& path) {
  const util::RegularFile opened = openReadable(path);
  auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(opened.size()), '\0');
  if (!util::readFullyAt(opened.fd(), 0, bytes->data(), bytes->size()))
    throw SecurePdfError("The input file changed while it was read: " + path);
  return bytes;
}

std::shared_ptr<QPDF> openForReading(std::shared_ptr<const std::string> bytes, const std::string& password) {
  auto pdf = process([&](QPDF& q) { q.processMemoryFile("document", bytes->data(), bytes->size(), password.c_str()); },
                     *bytes);
  // qpdf reads the bytes where they are, for as long as the model lives.
  return std::shared_ptr<QPDF>(pdf.release(), [bytes](QPDF* p) { delete p; });
}

void DocumentSource::read(std::uint64_t offset, char* out, std::size_t n) const {
  if (offset > originalSize || n > originalSize - offset)
    throw SecurePdfError("internal: read past the end of the input");
  if (bytes) {
    std::memcpy(out, bytes->data() + offset, n);
    return;
  }
  // pread leaves the position of qpdf's stream on the same file alone.
  if (!util::readFullyAt(fileno(file.get()), offset, out, n))
    throw SecurePdfError("The input file changed while signing: " + path);
}

void DocumentSource::startDigest(const EVP_MD* md) {
  if (!md || (digest && digest->isFor(md))) return;
  digest.reset();
  digest = std::make_unique<OriginalDigest>(md, bytes, file, originalSize);
}

bool DocumentSource::readsAsWhole() const {
  if (!regrouped || !regrouped->subset) return true;
  // Warnings after the opening come from the work (a key asked of a null
  // value, say), and come alike with the whole table.
  if (!pdf || !sections || !bytes || !seeks || !parsedSection) return false;
  std::vector<std::uint64_t> at;
  at.reserve(seeks->size());
  for (std::uint64_t s : *seeks)
    if (s >= headerOffset) at.push_back(s - headerOffset);
  if (!reader_ || readerFor_ != sections) {
    reader_ = std::make_shared<ObjectTextReader>(*sections, std::string_view(*bytes).substr(headerOffset));
    readerFor_ = sections;
  }
  return regrouped->subset->onlyListedRead(at, *sections, *reader_, parsedSection ? *parsedSection : "");
}

namespace {

// The parse of what `src` holds, and what follows from it: the tail an
// update follows, the numbers it keeps clear of, or the repair a damaged
// file needs.
void finishOpening(DocumentSource& src, const Opened& opened, const std::string& password, const EVP_MD* digestFor,
                   const std::optional<SubsetRequest>& listing) {
  // A file in memory had its tail read by the parse.
  std::optional<XrefTail> tail = parse(src, opened, password, listing);
  // A file that needs more than the listed objects, or any care (a
  // warning, signatures to keep), is read with its whole table.
  if (src.regrouped && src.regrouped->subset &&
      (src.pdf->anyWarnings() || carriesSignatures(*src.pdf) || !src.readsAsWhole() || src.pdf->anyWarnings()))
    tail = parse(src, opened, password, std::nullopt);
  if (!opened.bytes)
    tail = readXrefTail(src.originalSize, [&](std::uint64_t offset, std::uint64_t n) {
      std::string bytes(static_cast<std::size_t>(n), '\0');
      src.read(offset, bytes.data(), bytes.size());
      return bytes;
    });
  const std::vector<QPDFExc> warnings = src.pdf->getWarnings();
  const bool isSigned = carriesSignatures(*src.pdf);
  // An earlier signature covers what its revision shows: a reference there
  // to a number nobody defined must stay a reference to nothing.
  if (isSigned) src.taken.referenced = referencedPastListed(src);
  // qpdf finds an object its table misplaces only on coming to it, and
  // rebuilds the table then: such a file needs the repair as much as one it
  // warned about while opening.
  const bool misplaced = src.sections && !src.sections->everyObjectWhereListed();
  if (tail && warnings.empty() && !misplaced) {
    src.tail = *tail;
    return;
  }
  if (isSigned || mentionsByteRange(src)) {
    // Rewriting would change the bytes the signatures cover. Append to the
    // original when its cross-references hold; otherwise say what is wrong.
    const bool xrefDamaged = std::any_of(warnings.begin(), warnings.end(), [](const QPDFExc& w) {
      std::string m = w.getMessageDetail();  // "Cross-reference stream ...", "... xref table"
      std::transform(m.begin(), m.end(), m.begin(), [](unsigned char c) { return std::tolower(c); });
      return m.find("xref") != std::string::npos || m.find("cross-reference") != std::string::npos;
    });
    if (tail && !xrefDamaged) {
      src.tail = *tail;
      return;
    }
    std::string damage = warnings.empty() ? "no readable cross-reference section at its end" : "";
    for (std::size_t i = 0; i < warnings.size() && i < 3; ++i)
      damage += (i ? "; " : "") + warnings[i].getMessageDetail();
    throw SecurePdfError("The document carries signatures and is damaged (" + damage +
                         "); it is not rewritten, as that would break its signatures");
  }
  // The file needed repair: an update after broken bytes would be read
  // differently by different readers, so write a clean copy once (same
  // encryption) and update that.
  std::shared_ptr<std::string> rewritten;
  try {
    QPDFWriter w(*src.pdf);
    w.setOutputMemory();
    w.setObjectStreamMode(qpdf_o_preserve);
    // Streams are copied as they are: qpdf would otherwise decode and
    // compress again any whose filter is not a plain /FlateDecode (a
    // content stream of 8 GB of zeros in 13 kB took 45 s), and it still
    // does so to compress, whatever the decode level.
    w.setDecodeLevel(qpdf_dl_none);
    w.setCompressStreams(false);
    w.write();
    auto buf = w.getBufferSharedPointer();
    rewritten = std::make_shared<std::string>(reinterpret_cast<const char*>(buf->getBuffer()), buf->getSize());
  } catch (const std::exception& e) {
    throw SecurePdfError(std::string("The damaged input could not be repaired: ") + e.what());
  }
  src.digest.reset();  // of bytes that are no longer the original
  src.pdf = process(
      [&](QPDF& q) {
        q.processMemoryFile((src.path + " (repaired)").c_str(), rewritten->data(), rewritten->size(), password.c_str());
      },
      *rewritten);
  src.bytes = rewritten;
  src.parsedSection.reset();
  src.regrouped.reset();
  src.taken = {};  // the copy is numbered afresh, its /Size right
  src.sections.reset();
  src.file.reset();
  src.repaired = true;
  src.originalSize = rewritten->size();
  tail = readXrefTail(*rewritten);
  if (!tail) throw SecurePdfError("The repaired document has no cross-reference section");
  src.tail = *tail;
  src.startDigest(digestFor);
}

}  // namespace

DocumentSource openForUpdate(const std::string& path, const std::string& password, const EVP_MD* digestFor,
                             const std::optional<SubsetRequest>& listing) {
  DocumentSource src;
  src.path = path;
  Opened opened = openInput(path);
  src.bytes = opened.bytes;
  src.file = opened.file;
  src.originalSize = opened.size;
  src.startDigest(digestFor);
  finishOpening(src, opened, password, digestFor, listing);
  return src;
}

void readWithWholeTable(DocumentSource& src, const std::string& password, const EVP_MD* digestFor) {
  if (!src.regrouped || !src.regrouped->subset) return;
  finishOpening(src, Opened{src.bytes, src.file, src.originalSize}, password, digestFor, std::nullopt);
}

}  // namespace penvora::core::securepdf
