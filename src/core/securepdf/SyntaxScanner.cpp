#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {

std::optional<std::size_t> SyntaxScanner::skipValue(std::size_t at, int depth) const {
  at = skipSpace(at);
  if (at >= s_.size() || depth > kMaxNesting) return std::nullopt;
  const char c = s_[at];
  if (c == '<' && at + 1 < s_.size() && s_[at + 1] == '<') {
    at += 2;
    for (;;) {
      at = skipSpace(at);
      if (s_.substr(at, 2) == ">>") return at + 2;
      if (at >= s_.size() || s_[at] != '/') return std::nullopt;
      at = skipName(at);
      const auto end = skipValue(at, depth + 1);
      if (!end) return std::nullopt;
      at = *end;
    }
  }
  if (c == '<') {
    const auto end = s_.find('>', at);
    return end == std::string_view::npos ? std::nullopt : std::optional<std::size_t>(end + 1);
  }
  if (c == '[') {
    ++at;
    for (;;) {
      at = skipSpace(at);
      if (at < s_.size() && s_[at] == ']') return at + 1;
      const auto end = skipValue(at, depth + 1);
      if (!end) return std::nullopt;
      at = *end;
    }
  }
  if (c == '(') {
    int open = 0;
    for (; at < s_.size(); ++at) {
      if (s_[at] == '\\') {
        ++at;
      } else if (s_[at] == '(') {
        ++open;
      } else if (s_[at] == ')' && --open == 0) {
        return at + 1;
      }
    }
    return std::nullopt;
  }
  if (c == '/') return skipName(at);
  if (!isPdfRegular(c)) return std::nullopt;
  int n = 0, g = 0;
  if (const auto end = reference(at, n, g)) return end;
  while (at < s_.size() && isPdfRegular(s_[at])) ++at;
  return at;
}

std::optional<std::map<std::string, SyntaxScanner::Span>> SyntaxScanner::dictionary(std::size_t at,
                                                                                    std::size_t& end) const {
  at = skipSpace(at);
  if (s_.substr(at, 2) != "<<") return std::nullopt;
  at += 2;
  std::map<std::string, Span> entries;
  for (;;) {
    at = skipSpace(at);
    if (s_.substr(at, 2) == ">>") {
      end = at + 2;
      return entries;
    }
    if (at >= s_.size() || s_[at] != '/') return std::nullopt;
    const std::size_t keyEnd = skipName(at);
    std::string key(s_.substr(at, keyEnd - at));
    // A key written with # escapes is, to a reader, the name they spell
    // (/F#69lter is /Filter): such a dictionary is left to qpdf to read.
    if (key.find('#') != std::string::npos) return std::nullopt;
    const std::size_t valueAt = skipSpace(keyEnd);
    const auto valueEnd = skipValue(valueAt, 1);
    if (!valueEnd || !entries.emplace(std::move(key), Span{valueAt, *valueEnd}).second) return std::nullopt;
    at = *valueEnd;
  }
}

}  // namespace penvora::core::securepdf
