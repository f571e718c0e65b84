#include "core/document/DeclaredObjectCount.hpp"

#include <algorithm>
#include <string>

#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/util/BoundedFile.hpp"

namespace penvora::core::document {
namespace {

constexpr std::uint64_t kDictionaryBytes = 4096;

// Up to `n` bytes at `offset`, fewer where the file ends.
std::string readAt(int fd, std::uint64_t size, std::uint64_t offset, std::uint64_t n) {
  if (offset >= size) return {};
  std::string out(static_cast<std::size_t>(std::min(n, size - offset)), '\0');
  if (!util::readFullyAt(fd, offset, out.data(), out.size())) return {};
  return out;
}

// /Size of the dictionary starting at `at` of `text`.
std::optional<std::uint64_t> sizeEntry(std::string_view text, std::size_t at) {
  const securepdf::SyntaxScanner scan(text);
  std::size_t end = 0;
  const auto dict = scan.dictionary(at, end);
  if (!dict || !dict->count("/Size")) return std::nullopt;
  std::size_t p = dict->at("/Size").begin;
  const auto size = scan.integer(p);
  return size && p == dict->at("/Size").end ? size : std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> declaredObjectCount(int fd, std::uint64_t size) {
  std::string last;
  const auto tail = securepdf::readXrefTail(
      size, [&](std::uint64_t offset, std::uint64_t n) { return readAt(fd, size, offset, n); }, &last);
  if (!tail) return std::nullopt;
  if (tail->form == securepdf::XrefForm::table) {
    const auto trailer = last.rfind("trailer");
    if (trailer == std::string::npos) return std::nullopt;
    return sizeEntry(last, trailer + 7);
  }
  // "n g obj" then the stream's dictionary.
  const std::string text = readAt(fd, size, tail->headerOffset + tail->startxref, kDictionaryBytes);
  const auto obj = text.find("obj");
  if (obj == std::string::npos || obj > 32) return std::nullopt;
  return sizeEntry(text, obj + 3);
}

}  // namespace penvora::core::document
