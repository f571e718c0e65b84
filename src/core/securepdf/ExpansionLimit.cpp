#include "core/securepdf/ExpansionLimit.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

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
  std::set<int> streams;
  for (const auto& [og, entry] : pdf.getXRefTable())
    if (entry.getType() == 2) streams.insert(entry.getObjStreamNumber());
  for (int number : streams) {
    QPDFObjectHandle stream = pdf.getObjectByID(number, 0);
    if (!stream.isStream() || !flateOnly(stream.getDict().getKey("/Filter"))) continue;
    const auto raw = stream.getRawStreamData();
    const std::string_view compressed(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
    const std::uint64_t allowed = std::max<std::uint64_t>(limit.floorBytes, limit.ratio * compressed.size());
    // Deflate cannot grow data more than 1032 times (a 258-byte match in
    // two bits at best): most streams need not be inflated to know, and
    // opening a long document does not cost inflating all of them.
    if (compressed.size() * kDeflateMaxRatio + 1024 <= allowed) continue;
    const auto size = util::zlibInflatedSize(compressed, allowed);
    if (size && *size > allowed)
      throw SecurePdfError("The document's object stream " + std::to_string(number) + " expands beyond " +
                           std::to_string(allowed >> 20) + " MB (more than " + std::to_string(limit.ratio) +
                           " times its compressed size); it is refused as a decompression bomb");
  }
}

}  // namespace penvora::core::securepdf
