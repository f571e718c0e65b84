#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace penvora::core::securepdf {

// White space as qpdf's tokenizer takes it, which reads the file after us:
// the vertical tab too, though the PDF standard does not list it.
inline bool isPdfSpace(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v' || c == '\0';
}
inline bool isPdfDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
         c == '%';
}
inline bool isPdfRegular(char c) { return !isPdfSpace(c) && !isPdfDelimiter(c); }

// Where a stream's "endstream" stands in `text`, the "stream" keyword
// ending at `keywordEnd`: where its `length` (-1 when unknown) puts it,
// when the word is there (an embedded file may hold the word itself),
// else the first one after the data; npos when there is none. So a reader
// that rebuilds a file's table passes the data over.
inline std::size_t streamEnd(std::string_view text, std::size_t keywordEnd, long long length) {
  std::size_t data = keywordEnd;  // after the keyword's end of line
  if (data < text.size() && text[data] == '\r') ++data;
  if (data < text.size() && text[data] == '\n') ++data;
  if (length >= 0 && static_cast<std::uint64_t>(length) <= text.size() - data) {
    const auto after = text.find_first_not_of(" \t\r\n\f", data + static_cast<std::size_t>(length));
    if (after != std::string_view::npos && text.substr(after, 9) == "endstream") return after;
  }
  return text.find("endstream", data);
}

// Steps over PDF syntax without building objects: enough to find one entry
// of a dictionary and the extent of its value. Every step fails on what it
// does not expect rather than guess.
class SyntaxScanner {
 public:
  explicit SyntaxScanner(std::string_view s) : s_(s) {}

  std::size_t skipSpace(std::size_t at) const {
    while (at < s_.size()) {
      if (isPdfSpace(s_[at])) {
        ++at;
      } else if (s_[at] == '%') {
        while (at < s_.size() && s_[at] != '\n' && s_[at] != '\r') ++at;
      } else {
        break;
      }
    }
    return at;
  }

  std::optional<std::uint64_t> integer(std::size_t& at) const {
    std::uint64_t v = 0;
    std::size_t digits = 0;
    while (at < s_.size() && s_[at] >= '0' && s_[at] <= '9' && digits < 18) v = v * 10 + (s_[at++] - '0'), ++digits;
    if (!digits || (at < s_.size() && isPdfRegular(s_[at]))) return std::nullopt;
    return v;
  }

  // "n g R" at `at` (after spaces); its end, or nothing.
  std::optional<std::size_t> reference(std::size_t at, int& number, int& generation) const {
    at = skipSpace(at);
    const auto n = integer(at);
    if (!n || *n == 0 || *n > INT_MAX) return std::nullopt;
    at = skipSpace(at);
    const auto g = integer(at);
    if (!g || *g > 65535) return std::nullopt;
    at = skipSpace(at);
    if (at >= s_.size() || s_[at] != 'R' || (at + 1 < s_.size() && isPdfRegular(s_[at + 1]))) return std::nullopt;
    number = static_cast<int>(*n);
    generation = static_cast<int>(*g);
    return at + 1;
  }

  // The end of the one value at `at`.
  std::optional<std::size_t> skipValue(std::size_t at, int depth = 0) const;

  std::size_t skipName(std::size_t at) const {
    ++at;
    while (at < s_.size() && isPdfRegular(s_[at])) ++at;
    return at;
  }

  struct Span {
    std::size_t begin = 0, end = 0;
  };
  // The top-level entries of the dictionary at `at`, each key's value's
  // extent; `end` is where the dictionary stops. Nothing on a repeated key
  // or one written with # escapes.
  std::optional<std::map<std::string, Span>> dictionary(std::size_t at, std::size_t& end) const;

  std::string_view text(Span s) const { return s_.substr(s.begin, s.end - s.begin); }

  // Whether a dictionary that ends at `at` is a stream's.
  bool startsStream(std::size_t at) const { return s_.substr(skipSpace(at), 6) == "stream"; }

 private:
  static constexpr int kMaxNesting = 64;
  std::string_view s_;
};

}  // namespace penvora::core::securepdf
