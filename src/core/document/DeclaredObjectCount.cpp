#include "core/document/DeclaredObjectCount.hpp"

#include <algorithm>
#include <fstream>

#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::document {
namespace {

constexpr std::uint64_t kDictionaryBytes = 4096;

std::string readAt(std::ifstream& in, std::uint64_t offset, std::uint64_t n) {
  std::string out(static_cast<std::size_t>(n), '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(out.data(), static_cast<std::streamsize>(n));
  out.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
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

std::optional<std::uint64_t> declaredObjectCount(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
  std::string last;
  const auto tail = securepdf::readXrefTail(
      size, [&](std::uint64_t offset, std::uint64_t n) { return readAt(in, offset, n); }, &last);
  if (!tail) return std::nullopt;
  if (tail->form == securepdf::XrefForm::table) {
    const auto trailer = last.rfind("trailer");
    if (trailer == std::string::npos) return std::nullopt;
    return sizeEntry(last, trailer + 7);
  }
  // "n g obj" then the stream's dictionary.
  const std::string text = readAt(in, tail->headerOffset + tail->startxref, kDictionaryBytes);
  const auto obj = text.find("obj");
  if (obj == std::string::npos || obj > 32) return std::nullopt;
  return sizeEntry(text, obj + 3);
}

}  // namespace penvora::core::document
