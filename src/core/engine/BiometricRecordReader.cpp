#include "core/engine/BiometricRecordReader.hpp"

#include <openssl/cms.h>
#include <openssl/err.h>

#include <memory>

#include "core/capture/BiometricRecordWriter.hpp"
#include "core/engine/BiometricKey.hpp"
#include "core/util/Base64.hpp"
#include "core/util/OpenSsl.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::engine {
namespace {

constexpr std::size_t kMaxInflated = 64u << 20;

// The content of a DER VisibleString (tag 0x1A).
std::optional<std::string> visibleString(const util::Bytes& der) {
  if (der.size() < 2 || der[0] != 0x1A) return std::nullopt;
  std::size_t len = der[1], at = 2;
  if (len & 0x80) {
    const std::size_t n = len & 0x7F;
    if (n == 0 || n > 3 || der.size() < 2 + n) return std::nullopt;
    len = 0;
    for (std::size_t i = 0; i < n; ++i) len = len << 8 | der[2 + i];
    at = 2 + n;
  }
  if (der.size() < at + len) return std::nullopt;
  return std::string(der.begin() + static_cast<long>(at), der.begin() + static_cast<long>(at + len));
}

std::optional<util::Bytes> inflateZlib(std::string_view in) { return util::zlibInflate(in, kMaxInflated); }

unsigned get16(const util::Bytes& b, std::size_t at) { return static_cast<unsigned>(b[at] << 8 | b[at + 1]); }

}  // namespace

std::optional<std::pair<std::string, std::string>> BiometricRecordReader::summary(const util::Bytes& attributeDer) {
  auto text = visibleString(attributeDer);
  if (!text) return std::nullopt;
  auto z = util::base64Decode(*text);
  if (!z) return std::nullopt;
  auto plain = inflateZlib(util::asChars(*z));
  if (!plain) return std::nullopt;
  const std::string s(plain->begin(), plain->end());
  const auto crlf = s.find("\r\n");
  if (crlf == std::string::npos) return std::nullopt;
  return std::make_pair(s.substr(0, crlf), s.substr(crlf + 2));
}

std::optional<BiometricRecordReader::Trace> BiometricRecordReader::decrypt(const util::Bytes& attributeDer,
                                                                           const std::string& privateKeyPem) {
  auto text = visibleString(attributeDer);
  if (!text) return std::nullopt;
  auto der = util::base64Decode(*text);
  if (!der) return std::nullopt;
  const auto key = BiometricKey::read(privateKeyPem);
  const unsigned char* p = der->data();
  util::Owned<CMS_ContentInfo, CMS_ContentInfo_free> cms(
      d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der->size())));
  util::Owned<BIO, BIO_free> out(BIO_new(BIO_s_mem()));
  if (!key || !cms || !out || CMS_decrypt(cms.get(), key.get(), nullptr, nullptr, out.get(), CMS_BINARY) != 1) {
    ERR_clear_error();
    return std::nullopt;
  }
  char* data = nullptr;
  const long n = BIO_get_mem_data(out.get(), &data);
  auto sdi = inflateZlib(n > 0 ? std::string_view(data, static_cast<std::size_t>(n)) : std::string_view());
  // "SDI\0 10\0" C0 C0, three 60 00 00 + u16 maxima, 60 00 00 FF FF 00 01 00,
  // u16 count, then per point x+32768, y+32768, press, time.
  constexpr std::size_t kHead = 35;
  if (!sdi || sdi->size() < kHead || std::string(sdi->begin(), sdi->begin() + 3) != "SDI") return std::nullopt;
  Trace t;
  t.maxX = static_cast<int>(get16(*sdi, 13));
  t.maxY = static_cast<int>(get16(*sdi, 18));
  t.maxPress = static_cast<int>(get16(*sdi, 23));
  const std::size_t count = get16(*sdi, 33);
  for (std::size_t i = 0; i < count && kHead + 8 * (i + 1) <= sdi->size(); ++i) {
    const std::size_t at = kHead + 8 * i;
    t.points.push_back({static_cast<int>(get16(*sdi, at)) - 32768, static_cast<int>(get16(*sdi, at + 2)) - 32768,
                        static_cast<int>(get16(*sdi, at + 4)), static_cast<int>(get16(*sdi, at + 6))});
  }
  return t;
}

std::string BiometricRecordReader::recordText(const std::pair<std::string, std::string>& summary, const Trace& trace) {
  std::string r = summary.first + "\n" + summary.second + "\n" + capture::BiometricRecordWriter::kColumnLine;
  for (const auto& p : trace.points)
    r += "\n" + std::to_string(p.x) + ";" + std::to_string(p.y) + ";" + std::to_string(p.press) + ";1;" +
         std::to_string(p.time);
  return r;
}

}  // namespace penvora::core::engine
