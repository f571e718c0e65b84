#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <qpdf/InputSource.hh>
#include <qpdf/QPDF.hh>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/util/BoundedFile.hpp"

namespace penvora::core::securepdf {

// qpdf inflates an object stream whole, without a bound, the first time an
// object inside it is read, so a 1 MB file can ask for gigabytes. This
// measures every compressed object stream first (inflating into nothing)
// and throws SecurePdfError when one would grow beyond
// max(`floorBytes`, `ratio` x its compressed size).
struct ExpansionLimit {
  std::uint64_t floorBytes = 64ull << 20;
  std::uint64_t ratio = 100;

  // What `compressed` bytes may inflate to.
  std::uint64_t allowedFor(std::uint64_t compressed) const {
    return std::max<std::uint64_t>(floorBytes, ratio * compressed);
  }
  // Deflate cannot grow data more than 1032 times (a 258-byte match in two
  // bits at best): most deflated streams need not be inflated to know.
  // `allowedFrom`: the bytes the allowance is reckoned from, when fewer.
  bool deflatedCannotExceed(std::uint64_t compressed, std::uint64_t allowedFrom = UINT64_MAX) const {
    return compressed * 1032 + 1024 <= allowedFor(std::min(compressed, allowedFrom));
  }
};

// Whether a stream's /Filter is /FlateDecode alone.
bool flateOnly(QPDFObjectHandle filter);

// The object streams of one file taken together: streams made to overlap
// in the file would each pass alone, and inflating them all would take
// minutes. The listed ones cannot hold more bytes than the file, and what
// those measured inflate to is held to the limit for the file's size.
struct ExpansionBudget {
  std::uint64_t fileSize = UINT64_MAX;
  std::uint64_t allowed = UINT64_MAX;
  std::uint64_t compressed = 0, inflated = 0;
  ExpansionBudget() = default;
  ExpansionBudget(std::uint64_t size, ExpansionLimit limit) : fileSize(size), allowed(limit.allowedFor(size)) {}
  // Throws SecurePdfError once the listed streams hold more than the file.
  void addListed(std::uint64_t bytes);
};

// Decodes `stream` (`compressed` bytes as stored) through qpdf's own
// decoders into a count that stops at the limit, and refuses the document's
// `what` ("object stream 5") past it, or past what `together` has left;
// one qpdf cannot decode it cannot inflate either.
void refuseIfExpanding(QPDFObjectHandle stream, std::uint64_t compressed, const std::string& what, ExpansionLimit limit,
                       ExpansionBudget& together);
// Throws the SecurePdfError that refuses the document's `what` ("object
// stream 5") for inflating past `allowed` bytes.
[[noreturn]] void refuseExpansion(const std::string& what, std::uint64_t allowed, ExpansionLimit limit = {});

// `bytes`, the file as qpdf read it when it is in memory, lets the object
// streams be found from its cross-reference sections alone.
void checkObjectStreamExpansion(QPDF& pdf, std::string_view bytes = {}, ExpansionLimit limit = {});
// The same with the file's sections already read (qpdf may read them with
// a section after them that names no object stream); `file` is the bytes
// from the "%PDF-" header on.
void checkObjectStreamExpansionFrom(QPDF& pdf, std::string_view file, const CrossReferenceSections& sections,
                                    ExpansionLimit limit = {});

// The same for a file qpdf reads where it lies (too large to be read into
// memory), `file` being the input qpdf reads (its position is kept): the
// object streams qpdf's table lists, each read and so kept by qpdf.
void checkObjectStreamExpansion(QPDF& pdf, InputSource& file, ExpansionLimit limit = {});
// Whether every object stream the sections name is measured from its text
// alone (a direct /Length that lands on "endstream", and a size that
// cannot inflate past the limit), so qpdf never has to read one to check
// it: only then may qpdf be given a subset of the file's objects, since a
// stream left out of it would go unmeasured (and its damage unseen).
bool everyObjectStreamMeasuredFromText(std::string_view file, const CrossReferenceSections& sections,
                                       ExpansionLimit limit = {});

// Before qpdf reads a file in memory: its cross-reference streams, which
// qpdf inflates whole while opening it, held to the same rule. Throws
// SecurePdfError.
void checkCrossReferenceExpansion(std::string_view bytes);
// The same before qpdf reads an open file of `size` bytes where it lies
// (too large to be read into memory): only the sections are read.
void checkCrossReferenceExpansion(int fd, std::uint64_t size);
// qpdf's input over the file `opened`, its cross-reference streams measured
// first through that same opening, so a file replaced meanwhile cannot be
// measured in one form and read in another. Null (`opened` kept) when the
// file cannot be handed over; throws SecurePdfError for a bomb.
std::shared_ptr<InputSource> measuredFileInput(util::RegularFile& opened, const std::string& path);

}  // namespace penvora::core::securepdf
