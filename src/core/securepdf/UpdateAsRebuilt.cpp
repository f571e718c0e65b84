#include "core/securepdf/UpdateAsRebuilt.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {
namespace {

struct Header {
  int number = 0;
  std::uint64_t offset = 0;  // in the file
  bool crossReferenceStream = false;
};

bool digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A classic section from just after "xref" up to "trailer": where
// "trailer" starts, or npos when the section is not written as readers all
// read it: subsection headers of two numbers and an end of line, entries
// of "offset generation n|f" in 20 bytes (or 19 with a one-byte end of
// line; one reader slips on 21), and no subsection from 1 that starts with
// the free head of the list (one reader numbers it from 0).
std::size_t readTable(std::string_view text, std::size_t at) {
  auto digitsAt = [&](std::size_t p, std::size_t n) { return p + n <= text.size() && digits(text.substr(p, n)); };
  at = text.find_first_not_of(" \t\r\n\f", at);
  while (at != std::string_view::npos && text.substr(at, 7) != "trailer") {
    const std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) return std::string_view::npos;
    std::string_view header = text.substr(at, end - at);
    while (!header.empty() && (header.back() == ' ' || header.back() == '\t')) header.remove_suffix(1);
    const auto space = header.find(' ');
    if (space == std::string_view::npos || !digits(header.substr(0, space)) || !digits(header.substr(space + 1)))
      return std::string_view::npos;
    const bool fromOne = header.substr(0, space).find_first_not_of('0') == space - 1 && header[space - 1] == '1';
    const unsigned long long count = std::strtoull(std::string(header.substr(space + 1)).c_str(), nullptr, 10);
    at = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    for (unsigned long long i = 0; i < count; ++i) {
      if (at + 19 > text.size() || !digitsAt(at, 10) || text[at + 10] != ' ' || !digitsAt(at + 11, 5) ||
          text[at + 16] != ' ' || (text[at + 17] != 'n' && text[at + 17] != 'f'))
        return std::string_view::npos;
      if (i == 0 && fromOne && text.substr(at, 18) == "0000000000 65535 f") return std::string_view::npos;
      const char a = text[at + 18], b = at + 19 < text.size() ? text[at + 19] : '\0';
      if ((a == ' ' && (b == '\r' || b == '\n')) || (a == '\r' && b == '\n'))
        at += 20;
      else if (a == '\r' || a == '\n')
        at += 19;
      else
        return std::string_view::npos;
    }
    at = text.find_first_not_of(" \t\r\n\f", at);
  }
  return at;
}

// A number longer than any writer writes: one reader's lexer cuts a long
// one into two (a thousand zeros and a 1 are 0 and 1 to it), and the
// dictionary holding it then reads as nothing at all.
bool overlongNumber(const QPDFTokenizer::Token& token) {
  constexpr std::size_t kLongest = 64;
  return (token.getType() == QPDFTokenizer::tt_integer || token.getType() == QPDFTokenizer::tt_real) &&
         token.getRawValue().size() > kLongest;
}

// Keys given twice in one dictionary: qpdf and MuPDF keep the last value,
// poppler may keep the first (it sorts a long dictionary's entries). Fed
// every token of an object in turn; a reference's three tokens are one
// value.
class RepeatedKeys {
 public:
  void reset() { frames_.clear(); }
  // Whether `token` is a key its dictionary already has.
  bool repeats(const QPDFTokenizer::Token& token) {
    const auto type = token.getType();
    bool repeated = false;
    if (!frames_.empty() && frames_.back().dictionary && type == QPDFTokenizer::tt_name &&
        frames_.back().count % 2 == 0)
      repeated = !frames_.back().keys.insert(token.getValue()).second;
    if (type == QPDFTokenizer::tt_dict_close || type == QPDFTokenizer::tt_array_close) {
      if (!frames_.empty()) frames_.pop_back();
      return repeated;
    }
    if (!frames_.empty()) {
      if (type == QPDFTokenizer::tt_word && token.getValue() == "R")
        --frames_.back().count;  // with its two numbers, one value
      else
        ++frames_.back().count;
    }
    if (type == QPDFTokenizer::tt_dict_open || type == QPDFTokenizer::tt_array_open)
      frames_.push_back({type == QPDFTokenizer::tt_dict_open, 0, {}});
    return repeated;
  }

 private:
  struct Frame {
    bool dictionary = false;
    long long count = 0;  // keys and values read so far
    std::set<std::string> keys;
  };
  std::vector<Frame> frames_;
};

// The places where "n g obj" or "trailer" begins a line as a reader that
// rebuilds the table line by line finds them: lines of at most 255 bytes
// (a longer one is read in pieces, each a line of its own), white space
// skipped first; in stream data, strings and comments alike.
std::vector<std::size_t> objectOrTrailerLines(std::string_view text) {
  constexpr std::size_t kLine = 255;
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::vector<std::size_t> found;
  for (std::size_t line = 0; line < text.size();) {
    std::size_t end = line;
    while (end < text.size() && end - line < kLine && text[end] != '\r' && text[end] != '\n') ++end;
    std::size_t next = end;
    if (end < text.size() && end - line < kLine) next += text.substr(end, 2) == "\r\n" ? 2 : 1;
    std::size_t p = line;
    while (p < end && space(text[p])) ++p;
    const std::size_t start = p;
    if (text.substr(p, std::min<std::size_t>(7, end - p)) == "trailer") {
      found.push_back(start);
    } else if (p < end && digit(text[p])) {
      while (p < end && digit(text[p])) ++p;
      if (p < end && space(text[p])) {
        while (p < end && space(text[p])) ++p;
        if (p < end && digit(text[p])) {
          while (p < end && digit(text[p])) ++p;
          while (p < end && space(text[p])) ++p;
          if (text.substr(p, std::min<std::size_t>(3, end - p)) == "obj") found.push_back(start);
        }
      }
    }
    line = next;
  }
  return found;
}

}  // namespace

UpdateAsRebuilt readUpdateAsRebuilt(std::string_view file, std::uint64_t from, std::uint64_t to,
                                    const std::set<std::uint64_t>& listed, const LengthLookup& lengthOf) {
  UpdateAsRebuilt out;
  if (from >= to || to > file.size()) return out;
  const std::string_view update = file.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
  Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(update.data())), update.size());  // not copied
  const auto input = std::make_shared<BufferInputSource>("update", &buffer);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  std::vector<Header> headers;
  std::vector<std::pair<std::size_t, std::size_t>> opaque;  // strings and stream data, in the update
  std::set<std::size_t> lineStarts;  // where the update's own headers and trailer begin, in the update
  RepeatedKeys keys;
  std::vector<long long> startxrefs;                        // the last one is the update's own
  std::set<std::uint64_t> crossReferenceStreamsNamed;       // by a trailer's /XRefStm
  std::vector<std::optional<std::uint64_t>> trailersAfter;  // the "xref" each trailer follows
  std::optional<std::uint64_t> lastSection;                 // an "xref" no trailer has followed yet
  // Integers read at the top level, not yet known to start "n g obj".
  std::vector<std::pair<long long, qpdf_offset_t>> loose;
  enum class Place { top, object, trailer } place = Place::top;
  int depth = 0;
  bool pointer = false;  // the next integer is an offset
  // The object's own /Length: the value after that key at the depth of its
  // dictionary (not one of a dictionary inside it); a reference is looked
  // up. `lengthTokens` counts the key and the integers after it.
  long long length = -1;
  int lengthTokens = 0;
  std::string lengthValue[2];
  bool afterTypeKey = false;
  bool valueDone = false;                                       // the object's value has begun
  bool lengthDirect = false;                                    // the /Length is written as a number
  std::vector<std::pair<long long, qpdf_offset_t>> objectInts;  // the last integers in an object, for a header
  for (;;) {
    const QPDFTokenizer::Token token = tokenizer.readToken(input, "update", true);
    const auto type = token.getType();
    if (type == QPDFTokenizer::tt_eof) break;
    const std::string& value = token.getValue();
    if ((place == Place::object || place == Place::trailer) && keys.repeats(token)) ++out.repeatedKeys;
    if (type == QPDFTokenizer::tt_string)
      opaque.emplace_back(static_cast<std::size_t>(input->getLastOffset()), static_cast<std::size_t>(input->tell()));
    // What qpdf reads only by guessing (a stray "#" in a name, a bad hex
    // string) other readers guess otherwise; so with a word it takes for a
    // string and readers for a number ("1.5e3").
    if (!token.getErrorMessage().empty() || type == QPDFTokenizer::tt_bad || overlongNumber(token) ||
        (place == Place::object && type == QPDFTokenizer::tt_word && value != "R" && value != "obj" &&
         value != "endobj" && value != "stream" && value != "endstream" && value != "xref" && value != "trailer" &&
         value != "startxref"))
      ++out.misread;
    if (place == Place::object && depth == 0 && type == QPDFTokenizer::tt_word) {
      // An object without "endobj": the next object's header, or the section.
      if (value == "obj" && objectInts.size() == 2 && objectInts[0].first >= 0 && objectInts[1].first >= 0 &&
          objectInts[0].first <= INT_MAX) {
        headers.push_back(
            {static_cast<int>(objectInts[0].first), from + static_cast<std::uint64_t>(objectInts[0].second)});
        objectInts.clear();
        length = -1;
        lengthTokens = 0;
        afterTypeKey = valueDone = lengthDirect = false;
        keys.reset();
        continue;
      }
      if (value == "xref" || value == "trailer" || value == "startxref") place = Place::top;
    }
    if (place == Place::object && type == QPDFTokenizer::tt_word && value == "R" && objectInts.size() == 2) {
      // A number past 32 bits is read as the largest to qpdf, wrapped by
      // others.
      if (objectInts[0].first < 0 || objectInts[0].first > INT_MAX)
        ++out.misread;
      else
        out.references.insert(static_cast<int>(objectInts[0].first));
    }
    if (type == QPDFTokenizer::tt_integer) {
      objectInts.emplace_back(std::strtoll(value.c_str(), nullptr, 10), input->getLastOffset());
      if (objectInts.size() > 2) objectInts.erase(objectInts.begin());
    } else {
      objectInts.clear();
    }
    if (place == Place::top) {
      if (type == QPDFTokenizer::tt_integer) {
        if (pointer) {
          startxrefs.push_back(std::strtoll(value.c_str(), nullptr, 10));
          pointer = false;
          continue;
        }
        loose.emplace_back(std::strtoll(value.c_str(), nullptr, 10), input->getLastOffset());
        if (loose.size() > 2) {
          ++out.strayText;
          loose.erase(loose.begin());
        }
        continue;
      }
      pointer = false;
      if (type == QPDFTokenizer::tt_word && value == "obj" && loose.size() == 2 && loose[0].first >= 0 &&
          loose[1].first >= 0 && loose[0].first <= INT_MAX) {
        headers.push_back({static_cast<int>(loose[0].first), from + static_cast<std::uint64_t>(loose[0].second)});
        loose.clear();
        place = Place::object;
        depth = 0;
        length = -1;
        lengthTokens = 0;
        afterTypeKey = valueDone = lengthDirect = false;
        keys.reset();
        continue;
      }
      out.strayText += static_cast<int>(loose.size());
      loose.clear();
      if (type == QPDFTokenizer::tt_word && value == "startxref") {
        pointer = true;
      } else if (type == QPDFTokenizer::tt_word && value == "xref") {
        if (lastSection) ++out.strayText;  // a section no trailer followed
        lastSection = from + static_cast<std::uint64_t>(input->getLastOffset());
        const std::size_t trailer = readTable(update, static_cast<std::size_t>(input->tell()));
        if (trailer == std::string_view::npos) {
          ++out.oddSections;  // nothing after it is read: the update is refused already
          lastSection.reset();
          break;
        }
        input->seek(static_cast<qpdf_offset_t>(trailer), SEEK_SET);
      } else if (type == QPDFTokenizer::tt_word && value == "trailer") {
        trailersAfter.push_back(std::exchange(lastSection, std::nullopt));
        lineStarts.insert(static_cast<std::size_t>(input->getLastOffset()));
        place = Place::trailer;
        depth = 0;
        keys.reset();
      } else {
        ++out.strayText;  // a bare dictionary, a string, a name, a word
      }
      continue;
    }
    if (place == Place::object && depth == 0) {
      // One value to an object (and its stream): a reader that rebuilds the
      // table may take a second one, a dictionary say, for a trailer.
      const bool partOfReference =
          type == QPDFTokenizer::tt_integer || (type == QPDFTokenizer::tt_word && value == "R");
      const bool endsIt =
          type == QPDFTokenizer::tt_word && (value == "stream" || value == "endstream" || value == "endobj");
      if (!partOfReference && !endsIt) {
        if (valueDone) ++out.strayText;
        valueDone = true;
      }
    }
    if (type == QPDFTokenizer::tt_dict_open || type == QPDFTokenizer::tt_array_open) ++depth;
    if (type == QPDFTokenizer::tt_dict_close || type == QPDFTokenizer::tt_array_close) depth = std::max(depth - 1, 0);
    if (place == Place::trailer) {
      // Its /XRefStm leads to the section's stream; the dictionary ends it.
      if (type == QPDFTokenizer::tt_integer && pointer) {
        const long long v = std::strtoll(value.c_str(), nullptr, 10);
        if (v >= 0) crossReferenceStreamsNamed.insert(static_cast<std::uint64_t>(v));
      }
      pointer = type == QPDFTokenizer::tt_name && value == "/XRefStm" && depth == 1;
      if (depth == 0) place = Place::top;
      continue;
    }
    // In an object.
    if (type == QPDFTokenizer::tt_integer) {
      if (lengthTokens == 1) length = std::strtoll(value.c_str(), nullptr, 10), lengthDirect = true;
      if (lengthTokens >= 1 && lengthTokens <= 2) lengthValue[lengthTokens - 1] = value, ++lengthTokens;
      afterTypeKey = false;
      continue;
    }
    if (type == QPDFTokenizer::tt_word && value == "R" && lengthTokens == 3) {
      length = -1;  // given by reference
      lengthDirect = false;
      if (lengthOf)
        if (const auto v = lengthOf(std::atoi(lengthValue[0].c_str()), std::atoi(lengthValue[1].c_str()))) length = *v;
    }
    lengthTokens = type == QPDFTokenizer::tt_name && value == "/Length" && depth == 1 ? 1 : 0;
    if (type == QPDFTokenizer::tt_name && afterTypeKey && value == "/XRef" && !headers.empty())
      headers.back().crossReferenceStream = true;
    afterTypeKey = type == QPDFTokenizer::tt_name && value == "/Type" && depth == 1;
    if (type == QPDFTokenizer::tt_word && value == "endobj") {
      place = Place::top;
    } else if (type == QPDFTokenizer::tt_word && value == "stream" && depth == 0) {
      const std::size_t end = streamEnd(update, static_cast<std::size_t>(input->tell()), length);
      if (end == std::string_view::npos) {
        ++out.strayText;  // a stream that never ends: nothing after it is read, the update is refused already
        break;
      }
      std::size_t data = static_cast<std::size_t>(input->tell());
      if (data < update.size() && update[data] == '\r') ++data;
      if (data < update.size() && update[data] == '\n') ++data;
      opaque.emplace_back(data, end);
      // A reader that does not look the /Length up ends the data at the
      // first "endstream" in it; after the keyword, readers differ on
      // anything but an end of line.
      if (!lengthDirect && update.find("endstream", data) != end) ++out.hidden;
      const std::size_t keywordEnd = static_cast<std::size_t>(input->tell());
      if (keywordEnd >= update.size() || (update[keywordEnd] != '\r' && update[keywordEnd] != '\n')) ++out.misread;
      input->seek(static_cast<qpdf_offset_t>(end + 9), SEEK_SET);
    }
  }
  // A vertical tab is white space to qpdf, and part of a word, name or
  // number to other readers: outside strings and stream data it makes them
  // read different objects from the same bytes.
  std::size_t at = 0;
  std::sort(opaque.begin(), opaque.end());
  for (const auto& [begin, end] : opaque) {
    if (begin > at && update.substr(at, begin - at).find('\v') != std::string_view::npos) ++out.verticalTabs;
    at = std::max(at, end);
  }
  if (at < update.size() && update.substr(at).find('\v') != std::string_view::npos) ++out.verticalTabs;
  // Any other "n g obj" or "trailer" a line-reading rebuild would take.
  for (const auto& h : headers) lineStarts.insert(static_cast<std::size_t>(h.offset - from));
  for (const std::size_t at : objectOrTrailerLines(update))
    if (!lineStarts.count(at)) ++out.hidden;
  out.strayText += static_cast<int>(loose.size());
  if (lastSection) ++out.strayText;  // a section no trailer followed
  std::set<std::uint64_t> pointedAt(crossReferenceStreamsNamed);
  if (!startxrefs.empty()) {
    if (startxrefs.back() >= 0) pointedAt.insert(static_cast<std::uint64_t>(startxrefs.back()));
    out.strayText += static_cast<int>(startxrefs.size() - 1);  // an earlier one leads a reader elsewhere
  }
  // A trailer's /XRefStm must lead to a cross-reference stream: one reader
  // takes a classic section there, another rebuilds the table.
  for (const std::uint64_t at : crossReferenceStreamsNamed)
    if (std::none_of(headers.begin(), headers.end(),
                     [&](const Header& h) { return h.offset == at && h.crossReferenceStream; }))
      ++out.oddSections;
  for (const auto& h : headers) out.objectsAt.insert(h.offset);
  for (const auto& h : headers) {
    if (h.crossReferenceStream && pointedAt.count(h.offset)) continue;
    if (h.crossReferenceStream) ++out.strayTrailers;
    if (!listed.count(h.offset)) out.unlisted.push_back(h.number);
  }
  for (const auto& section : trailersAfter)
    if (!section || !pointedAt.count(*section)) ++out.strayTrailers;
  return out;
}

UpdateAsRebuilt readObjectStreamAsRebuilt(std::string_view objects) {
  UpdateAsRebuilt out;
  Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(objects.data())), objects.size());  // not copied
  const auto input = std::make_shared<BufferInputSource>("object stream", &buffer);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  std::vector<long long> ints;  // the last integers, for a reference
  std::size_t at = 0;           // the text before a string, checked for vertical tabs
  RepeatedKeys keys;
  for (;;) {
    const QPDFTokenizer::Token token = tokenizer.readToken(input, "object stream", true);
    const auto type = token.getType();
    if (type == QPDFTokenizer::tt_eof) break;
    if (keys.repeats(token)) ++out.repeatedKeys;
    if (type == QPDFTokenizer::tt_string) {
      const auto begin = static_cast<std::size_t>(input->getLastOffset());
      if (begin > at && objects.substr(at, begin - at).find('\v') != std::string_view::npos) ++out.verticalTabs;
      at = static_cast<std::size_t>(input->tell());
    }
    if (!token.getErrorMessage().empty() || type == QPDFTokenizer::tt_bad || overlongNumber(token) ||
        (type == QPDFTokenizer::tt_word && token.getValue() != "R"))
      ++out.misread;
    if (type == QPDFTokenizer::tt_word && token.getValue() == "R" && ints.size() == 2) {
      if (ints[0] < 0 || ints[0] > INT_MAX)
        ++out.misread;
      else
        out.references.insert(static_cast<int>(ints[0]));
    }
    if (type == QPDFTokenizer::tt_integer) {
      ints.push_back(std::strtoll(token.getValue().c_str(), nullptr, 10));
      if (ints.size() > 2) ints.erase(ints.begin());
    } else {
      ints.clear();
    }
  }
  if (at < objects.size() && objects.substr(at).find('\v') != std::string_view::npos) ++out.verticalTabs;
  return out;
}

}  // namespace penvora::core::securepdf
