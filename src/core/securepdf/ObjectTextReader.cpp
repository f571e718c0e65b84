#include "core/securepdf/ObjectTextReader.hpp"

#include <algorithm>

#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::size_t kMaxObjectStreamBytes = 64u << 20;
constexpr std::size_t kStreamsKept = 8;

}  // namespace

std::optional<std::string_view> ObjectTextReader::text(int number, int generation) {
  const auto entry = sections_.find(number);
  if (!entry || entry->kind == XrefEntry::Kind::free) return std::nullopt;
  if (entry->kind == XrefEntry::Kind::inFile) {
    if (entry->generation != generation) return std::nullopt;
    const auto at = afterObjectHeader(file_, entry->offset, number, generation);
    if (!at) return std::nullopt;
    return file_.substr(*at);
  }
  if (generation != 0) return std::nullopt;
  const auto stream = objectStreamText(sections_, file_, entry->stream);
  if (!stream || stream->objects <= static_cast<std::uint64_t>(entry->index)) return std::nullopt;
  auto kept = std::find_if(streams_.begin(), streams_.end(), [&](const auto& s) { return s.first == entry->stream; });
  if (kept == streams_.end()) {
    util::Bytes content;
    if (!stream->deflated) {
      content.assign(stream->raw.begin(), stream->raw.end());
    } else {
      auto inflated = util::zlibInflate(stream->raw, kMaxObjectStreamBytes);
      if (!inflated) return std::nullopt;
      content = std::move(*inflated);
    }
    if (streams_.size() >= kStreamsKept) streams_.pop_back();
    streams_.emplace_front(entry->stream, std::move(content));
  } else if (kept != streams_.begin()) {
    streams_.splice(streams_.begin(), streams_, kept);
  }
  // The header: pairs of object number and offset from /First.
  const std::string_view content = util::asChars(streams_.front().second);
  const std::uint64_t firstAt = stream->first;
  if (firstAt > content.size()) return std::nullopt;
  // The whole header, not only up to the entry: qpdf takes an object by its
  // number, the last pair naming it winning, where others take the
  // entry's place. A number named twice is read here by neither.
  const auto pairs = objectStreamHeader(content, firstAt, stream->objects);
  const auto index = static_cast<std::size_t>(entry->index);
  if (pairs.size() != stream->objects || pairs[index].number != static_cast<std::uint64_t>(number) ||
      std::count_if(pairs.begin(), pairs.end(),
                    [&](const ObjectStreamPair& p) { return p.number == pairs[index].number; }) > 1)
    return std::nullopt;
  // From the object's offset to the end of the stream, as qpdf parses it:
  // its value may run past where the next pair says the next one starts
  // (two pairs may even name one offset).
  const std::uint64_t begin = pairs[index].offset;
  if (begin > content.size() - firstAt) return std::nullopt;
  return content.substr(static_cast<std::size_t>(firstAt + begin));
}

std::optional<std::string_view> ObjectTextReader::value(int number, int generation) {
  const auto all = text(number, generation);
  if (!all) return std::nullopt;
  const SyntaxScanner scan(*all);
  const auto end = scan.skipValue(0);
  if (!end) return std::nullopt;
  return all->substr(0, *end);
}

}  // namespace penvora::core::securepdf
