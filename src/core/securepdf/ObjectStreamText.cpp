#include "core/securepdf/ObjectStreamText.hpp"

#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {

std::optional<std::size_t> afterObjectHeader(std::string_view file, std::uint64_t offset, int number, int generation) {
  if (offset >= file.size()) return std::nullopt;
  const SyntaxScanner scan(file);
  std::size_t at = scan.skipSpace(static_cast<std::size_t>(offset));
  const auto num = scan.integer(at);
  at = scan.skipSpace(at);
  const auto gen = num ? scan.integer(at) : std::nullopt;
  at = scan.skipSpace(at);
  if (!gen || *num != static_cast<std::uint64_t>(number) || *gen != static_cast<std::uint64_t>(generation) ||
      file.substr(at, 3) != "obj" || (at + 3 < file.size() && isPdfRegular(file[at + 3])))
    return std::nullopt;
  return at + 3;
}

std::optional<ObjectStreamText> objectStreamText(const CrossReferenceSections& xref, std::string_view file,
                                                 int stream) {
  const auto holder = xref.find(stream);
  // qpdf reads an object stream as generation 0 whatever a newer section
  // lists under another generation.
  if (!holder || holder->kind != XrefEntry::Kind::inFile || holder->generation != 0) return std::nullopt;
  const auto at = afterObjectHeader(file, holder->offset, stream, holder->generation);
  if (!at) return std::nullopt;
  const SyntaxScanner scan(file);
  std::size_t end = 0;
  const auto dict = scan.dictionary(*at, end);
  if (!dict || !dict->count("/Type") || scan.text(dict->at("/Type")) != "/ObjStm" || dict->count("/DecodeParms") ||
      !dict->count("/N") || !dict->count("/First") || !dict->count("/Length"))
    return std::nullopt;
  std::string_view filter = dict->count("/Filter") ? scan.text(dict->at("/Filter")) : "";
  if (filter.size() > 2 && filter.front() == '[' && filter.back() == ']') {
    filter = filter.substr(1, filter.size() - 2);
    while (!filter.empty() && isPdfSpace(filter.front())) filter.remove_prefix(1);
    while (!filter.empty() && isPdfSpace(filter.back())) filter.remove_suffix(1);
  }
  if (!filter.empty() && filter != "/FlateDecode") return std::nullopt;
  auto integerAt = [&](const char* key) {
    std::size_t p = dict->at(key).begin;
    const auto v = scan.integer(p);
    return v && p == dict->at(key).end ? v : std::nullopt;
  };
  const auto n = integerAt("/N"), first = integerAt("/First"), length = integerAt("/Length");
  if (!n || !first || !length) return std::nullopt;
  std::size_t data = scan.skipSpace(end);
  if (file.substr(data, 6) != "stream") return std::nullopt;
  data += 6;
  if (file.substr(data, 2) == "\r\n")
    data += 2;
  else if (file.substr(data, 1) == "\n")
    ++data;
  else
    return std::nullopt;
  if (*length > file.size() - data) return std::nullopt;
  ObjectStreamText out;
  out.raw = file.substr(data, static_cast<std::size_t>(*length));
  out.deflated = !filter.empty();
  out.objects = *n;
  out.first = *first;
  // As qpdf checks it: an end of line may come before "endstream".
  std::size_t after = data + out.raw.size();
  if (file.substr(after, 2) == "\r\n")
    after += 2;
  else if (file.substr(after, 1) == "\n" || file.substr(after, 1) == "\r")
    ++after;
  out.endsAtLength = file.substr(after, 9) == "endstream";
  return out;
}

std::vector<ObjectStreamPair> objectStreamHeader(std::string_view content, std::uint64_t first, std::uint64_t objects) {
  std::vector<ObjectStreamPair> pairs;
  if (first > content.size()) return pairs;
  const SyntaxScanner scan(content.substr(0, static_cast<std::size_t>(first)));
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < objects; ++i) {
    at = scan.skipSpace(at);
    const auto number = scan.integer(at);
    at = scan.skipSpace(at);
    const auto offset = number ? scan.integer(at) : std::nullopt;
    if (!offset) break;
    pairs.push_back({*number, *offset});
  }
  return pairs;
}

}  // namespace penvora::core::securepdf
