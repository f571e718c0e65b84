#include "core/securepdf/ExpansionLimit.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::uint64_t kDeflateMaxRatio = 1032;

bool flateOnly(QPDFObjectHandle filter) {
  if (filter.isName()) return filter.getName() == "/FlateDecode";
  return filter.isArray() && filter.getArrayNItems() == 1 && flateOnly(filter.getArrayItem(0));
}

}  // namespace

void checkObjectStreamExpansion(QPDF& pdf, ExpansionLimit limit) {
  std::vector<int> streams;
  std::vector<qpdf_offset_t> offsets;  // of every object stored plainly, in file order
  std::map<int, qpdf_offset_t> streamAt;
  const auto xref = pdf.getXRefTable();
  for (const auto& [og, entry] : xref) {
    if (entry.getType() == 2) streams.push_back(entry.getObjStreamNumber());
    if (entry.getType() == 1) offsets.push_back(entry.getOffset());
  }
  std::sort(offsets.begin(), offsets.end());
  std::sort(streams.begin(), streams.end());
  streams.erase(std::unique(streams.begin(), streams.end()), streams.end());
  for (int number : streams) {
    const auto entry = xref.find(QPDFObjGen(number, 0));
    if (entry != xref.end() && entry->second.getType() == 1) streamAt[number] = entry->second.getOffset();
  }

  for (int number : streams) {
    // Deflate cannot grow data more than 1032 times (a 258-byte match in
    // two bits at best), so a stream whose bytes end before the next
    // object's start cannot pass the floor: it is neither read nor inflated,
    // and opening a large document does not cost a pass over its objects.
    const auto at = streamAt.find(number);
    if (at != streamAt.end()) {
      const auto next = std::upper_bound(offsets.begin(), offsets.end(), at->second);
      if (next != offsets.end() &&
          static_cast<std::uint64_t>(*next - at->second) * kDeflateMaxRatio + 1024 <= limit.floorBytes)
        continue;
    }
    QPDFObjectHandle stream = pdf.getObjectByID(number, 0);
    if (!stream.isStream() || !flateOnly(stream.getDict().getKey("/Filter"))) continue;
    const auto raw = stream.getRawStreamData();
    const std::string_view compressed(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
    const std::uint64_t allowed = std::max<std::uint64_t>(limit.floorBytes, limit.ratio * compressed.size());
    if (compressed.size() * kDeflateMaxRatio + 1024 <= allowed) continue;
    const auto size = util::zlibInflatedSize(compressed, allowed);
    if (size && *size > allowed)
      throw SecurePdfError("The document's object stream " + std::to_string(number) + " expands beyond " +
                           std::to_string(allowed >> 20) + " MB (more than " + std::to_string(limit.ratio) +
                           " times its compressed size); it is refused as a decompression bomb");
  }
}

}  // namespace penvora::core::securepdf
