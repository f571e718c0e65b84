#include "core/document/DeclaredObjectCount.hpp"

#include <algorithm>
#include <fstream>

#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::document {
namespace {

constexpr std::uint64_t kTailBytes = 2048;
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
  const auto end = static_cast<std::uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
  const std::uint64_t header = securepdf::findHeaderOffset(readAt(in, 0, std::min<std::uint64_t>(end, 1024)));
  const std::uint64_t tailStart = std::max(header, end - std::min(end, kTailBytes));
  const std::string tail = readAt(in, tailStart, end - tailStart);
  // In the file's own offsets, which count from its header.
  const auto last =
      securepdf::readXrefTail(tail, tailStart - header, [&](std::uint64_t at) { return readAt(in, header + at, 32); });
  if (!last) return std::nullopt;
  if (last->form == securepdf::XrefForm::table) {
    const auto trailer = tail.rfind("trailer");
    if (trailer == std::string::npos) return std::nullopt;
    return sizeEntry(tail, trailer + 7);
  }
  // "n g obj" then the stream's dictionary.
  const std::string text = readAt(in, header + last->startxref, kDictionaryBytes);
  const auto obj = text.find("obj");
  if (obj == std::string::npos || obj > 32) return std::nullopt;
  return sizeEntry(text, obj + 3);
}

}  // namespace penvora::core::document
