#include "core/forensics/RecordLoader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "core/forensics/SignatureFeatures.hpp"
#include "core/util/Base64.hpp"
#include "core/util/BoundedFile.hpp"
#include "penvora/SignatureVerifier.hpp"

namespace penvora::core::forensics {
namespace {

constexpr std::size_t kRecordFileLimit = std::size_t{64} << 20;
constexpr std::size_t kMaxSamples = 1u << 20;

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    const auto at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return out;
    start = at + 1;
  }
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

bool number(std::string_view s, double& v) {
  s = trimmed(s);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
}

long indexOf(const std::vector<std::string_view>& names, std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (trimmed(names[i]) == name) return static_cast<long>(i);
  return -1;
}

// Some editors start a UTF-8 text with a byte order mark.
std::string_view withoutBom(std::string_view s) { return s.starts_with("\xEF\xBB\xBF") ? s.substr(3) : s; }

bool looksLikeRecord(std::string_view s) { return withoutBom(s).substr(0, 6) == "MAX_X;"; }

// What the comparison cannot use (too short, too long) is refused here,
// where the file's name is known.
PenSignature comparable(PenSignature s, const std::string& origin) {
  try {
    FeatureExtractor::extract(s, {});
  } catch (const ForensicsError& e) {
    throw ForensicsError(origin + ": " + e.what());
  }
  return s;
}

}  // namespace

PenSignature RecordLoader::parseRecordText(const std::string& text, const std::string& origin) {
  auto fail = [&](const std::string& why) { return ForensicsError(origin + ": " + why); };
  const auto lines = split(withoutBom(text), '\n');
  if (lines.size() < 3 || !looksLikeRecord(lines[0])) throw fail("not a biometric record (no MAX_X header)");
  const auto names = split(lines[0], ';'), values = split(lines[1], ';'), columns = split(lines[2], ';');
  double maxPress = 1;
  const long pressAt = indexOf(names, "MAX_PRESS");
  if (pressAt >= 0 && static_cast<std::size_t>(pressAt) < values.size() && !number(values[pressAt], maxPress))
    throw fail("MAX_PRESS is not a number");
  if (maxPress <= 0) throw fail("MAX_PRESS is not positive");
  const std::string maxPressText = pressAt >= 0 && static_cast<std::size_t>(pressAt) < values.size()
                                       ? std::string(trimmed(values[static_cast<std::size_t>(pressAt)]))
                                       : "1";
  const long cx = indexOf(columns, "X"), cy = indexOf(columns, "Y"), ct = indexOf(columns, "TIME"),
             cp = indexOf(columns, "PRESS");
  if (cx < 0 || cy < 0 || ct < 0) throw fail("the column line lacks X, Y or TIME");

  PenSignature sig;
  // Pressure is real only when measured on a scale (MAX_PRESS above 1)
  // and written down (a PRESS column).
  sig.hasPressure = maxPress > 1 && cp >= 0;
  double lastRaw = 0, wrap = 0;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const auto row = trimmed(lines[i]);
    if (row.empty()) continue;
    const auto cells = split(row, ';');
    PenSample s;
    double press = maxPress;
    const auto cell = [&](long at, double& v) {
      return static_cast<std::size_t>(at) < cells.size() && number(cells[static_cast<std::size_t>(at)], v);
    };
    double t = 0;
    if (!cell(cx, s.x) || !cell(cy, s.y) || !cell(ct, t) || (cp >= 0 && !cell(cp, press)))
      throw fail("row " + std::to_string(i + 1) + " is not a sample");
    // Beyond any screen or tablet, and beyond what the arithmetic keeps exact.
    if (std::fabs(s.x) > 1e9 || std::fabs(s.y) > 1e9 || std::fabs(t) > 1e12)
      throw fail("row " + std::to_string(i + 1) + " is out of range");
    if (press < 0 || press > maxPress)
      throw fail("row " + std::to_string(i + 1) + ": PRESS " +
                 std::string(trimmed(cells[static_cast<std::size_t>(cp)])) + " is outside 0 to MAX_PRESS " +
                 maxPressText);
    // The protected form keeps time in 16 bits: a drop of more than half
    // the range is a wrap, not a step back.
    if (sig.samples.size() && t + 32768 < lastRaw) wrap += 65536;
    lastRaw = t;
    s.time = t + wrap;
    s.pressure = sig.hasPressure ? press / maxPress : 1.0;
    sig.samples.push_back(s);
    if (sig.samples.size() > kMaxSamples) throw fail("too many samples");
  }
  if (sig.samples.size() < 2) throw fail("the record holds fewer than two samples");
  return sig;
}

PenSignature RecordLoader::parseRecordOrBase64(const std::string& contents, const std::string& origin) {
  if (looksLikeRecord(contents)) return parseRecordText(contents, origin);
  const auto decoded = util::base64DecodeIgnoringUnknown(contents);
  if (!decoded) throw ForensicsError(origin + ": neither a biometric record nor its base64");
  const std::string text(decoded->begin(), decoded->end());
  if (!looksLikeRecord(text)) throw ForensicsError(origin + ": neither a biometric record nor its base64");
  return parseRecordText(text, origin);
}

PenSignature RecordLoader::loadFile(const std::string& path, const std::string& bioKeyPem) {
  std::string contents;
  try {
    contents = util::readBoundedFile(path, kRecordFileLimit, "The signature file");
  } catch (const util::FileReadError& e) {
    throw ForensicsError(e.what());
  }
  // Readers take a PDF whose header follows other bytes within its first
  // kilobyte, so such a file is a PDF here too.
  if (std::string_view(contents).substr(0, 1024).find("%PDF-") == std::string_view::npos)
    return comparable(parseRecordOrBase64(contents, path), path);
  if (bioKeyPem.empty()) throw ForensicsError(path + ": a signed PDF needs --bio-key to open its biometric record");
  VerifiedDocument doc;
  try {
    doc = verifySignatures(path, "", bioKeyPem);
  } catch (const std::exception& e) {
    throw ForensicsError(path + ": " + e.what());
  }
  bool carriesRecord = false;
  const VerifiedSignature* damaged = nullptr;
  for (const auto& s : doc.signatures) {
    if (s.biometricRecord) {
      // The record is evidence only while its signature holds over the
      // signed attributes that carry it and over the document; the trust
      // in the signer's certificate is another question.
      if (!s.intact)
        throw ForensicsError(path + ": the signature " + s.field + " does not hold (" + s.subIndication + ": " +
                             s.problem + "), so its biometric record is not used");
      if (s.modification == "disallowed")
        throw ForensicsError(path + ": the document was changed after the signature " + s.field + " (" + s.problem +
                             "), so its biometric record is not used");
      return comparable(parseRecordText(*s.biometricRecord, path), path);
    }
    carriesRecord = carriesRecord || s.hasBiometricData;
    if (!s.intact && !s.hasBiometricSummary && !damaged) damaged = &s;
  }
  if (carriesRecord) throw ForensicsError(path + ": the key does not open the biometric record");
  if (damaged)
    throw ForensicsError(path + ": the signature " + damaged->field + " is damaged (" + damaged->problem +
                         "): no biometric record can be read from it");
  throw ForensicsError(path + ": no signature carries a biometric record");
}

}  // namespace penvora::core::forensics
