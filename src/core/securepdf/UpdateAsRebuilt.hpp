#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace penvora::core::securepdf {

// What a reader that rebuilds the cross-reference table by scanning the
// file (as some do when a section is not written quite to the standard)
// takes from an update that a reader following its sections does not.
// Such a reader takes the last copy of each number, loads every object
// stream it finds, and takes the document's catalog and keys from the last
// trailer, cross-reference stream or bare dictionary it comes to; their
// lexers do not all agree with qpdf's on what a string or a stream's data
// is. So an update is held to the layout a writer gives it: its objects
// (a stream's data as long as its own /Length says), its cross-reference
// section, its trailer and its "startxref", with nothing else between.
//
// `file` runs from the header on, the update between `from` and `to`, and
// offsets count from the header; `listed` holds the offsets the update's
// table gives its plain objects; `lengthOf` gives the value of a /Length
// given by reference, when it can.
struct UpdateAsRebuilt {
  // Objects written at an offset no section lists (the cross-reference
  // stream the update's "startxref" or trailer's /XRefStm leads to need not
  // list itself).
  std::vector<int> unlisted;
  // Trailer dictionaries, and cross-reference streams, that the update's
  // "startxref" and its trailer's /XRefStm do not lead to.
  int strayTrailers = 0;
  // Anything else outside the objects and the section: a dictionary, a
  // string, a stray word or number.
  int strayText = 0;
  // Cross-reference sections not written as every reader reads them: a
  // subsection header other than two numbers and an end of line (one
  // reader rebuilds its table on an extra space), an entry other than
  // "offset generation n|f" in 20 bytes, a trailer's /XRefStm that does not
  // lead to a cross-reference stream.
  int oddSections = 0;
  // Lines that start "n g obj" or "trailer" other than the update's own
  // headers and trailer (in strings, stream data or comments, or a piece of
  // a line past 255 bytes): a reader that rebuilds the table by reading
  // lines takes them. And stream data holding "endstream" before its end,
  // where a reader that does not look up the /Length ends it.
  int hidden = 0;
  // Tokens readers read differently: what qpdf reads only by guessing (a
  // stray "#" in a name, a bad hex string), a word qpdf takes for a string
  // where readers see a number ("1.5e3"), a reference past 32 bits, a
  // "stream" keyword not followed by an end of line.
  int misread = 0;
  // Dictionaries giving a key twice: qpdf and MuPDF keep the last value,
  // poppler may keep the first.
  int repeatedKeys = 0;
  // The numbers the update's objects refer to.
  std::set<int> references;
  // Vertical tabs outside strings and stream data: white space to qpdf,
  // part of a token to other readers.
  int verticalTabs = 0;
  // Where the update's objects begin (their "n g obj"), from the header:
  // an offset its table lists must be one of them, not text inside
  // another object's string or stream.
  std::set<std::uint64_t> objectsAt;
};
// The same checks of tokens over the objects of an object stream the
// update writes, as decoded (`misread`, `verticalTabs`, `repeatedKeys` and
// `references` are filled in).
UpdateAsRebuilt readObjectStreamAsRebuilt(std::string_view objects);

using LengthLookup = std::function<std::optional<long long>(int number, int generation)>;
UpdateAsRebuilt readUpdateAsRebuilt(std::string_view file, std::uint64_t from, std::uint64_t to,
                                    const std::set<std::uint64_t>& listed, const LengthLookup& lengthOf = {});

}  // namespace penvora::core::securepdf
