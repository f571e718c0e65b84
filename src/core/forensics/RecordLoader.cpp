#include "core/forensics/RecordLoader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "core/forensics/SignatureFeatures.hpp"
#include "core/util/Base64.hpp"
#include "core/util/BoundedFile.hpp"
#include "penvora/SignatureVerifier.hpp"

namespace penvora::core::forensics {
namespace {

constexpr std::size_t kRecordFileLimit = std::size_t{64} << 20;
constexpr std::size_t kMaxSamples = 1u << 20;

// The `sep`-separated fields of `s` in turn, to `visit(index, field)`
// until it returns false. Nothing is kept: a 64 MB line of separators
// costs no memory.
template <class Visit>
void forEachField(std::string_view s, char sep, Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0;; ++i) {
    const auto at = s.find(sep, start);
    if (!visit(i, s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)) ||
        at == std::string_view::npos)
      return;
    start = at + 1;
  }
}

// Field `index` of `line`, or nullopt when the line has fewer.
std::optional<std::string_view> fieldAt(std::string_view line, std::size_t index) {
  std::optional<std::string_view> found;
  forEachField(line, ';', [&](std::size_t i, std::string_view f) {
    if (i == index) found = f;
    return i < index;
  });
  return found;
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

long indexOf(std::string_view line, std::string_view name) {
  long found = -1;
  forEachField(line, ';', [&](std::size_t i, std::string_view f) {
    if (trimmed(f) == name) found = static_cast<long>(i);
    return found < 0;
  });
  return found;
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
  // Lines are taken one at a time, so memory follows the samples kept,
  // not the lines or separators a file holds.
  std::string_view rest = withoutBom(text);
  std::size_t lineNumber = 0;
  auto nextLine = [&](std::string_view& line) {
    if (rest.data() == nullptr) return false;
    const auto at = rest.find('\n');
    line = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
    ++lineNumber;
    return true;
  };
  std::string_view names, values, columns;
  if (!nextLine(names) || !looksLikeRecord(names) || !nextLine(values) || !nextLine(columns))
    throw fail("not a biometric record (no MAX_X header)");
  double maxPress = 1;
  std::string maxPressText = "1";
  if (const long pressAt = indexOf(names, "MAX_PRESS"); pressAt >= 0)
    if (const auto value = fieldAt(values, static_cast<std::size_t>(pressAt))) {
      if (!number(*value, maxPress)) throw fail("MAX_PRESS is not a number");
      maxPressText = std::string(trimmed(*value));
    }
  if (maxPress <= 0) throw fail("MAX_PRESS is not positive");
  const long cx = indexOf(columns, "X"), cy = indexOf(columns, "Y"), ct = indexOf(columns, "TIME"),
             cp = indexOf(columns, "PRESS");
  if (cx < 0 || cy < 0 || ct < 0) throw fail("the column line lacks X, Y or TIME");
  const long columnOf[4] = {cx, cy, ct, cp};  // X, Y, TIME, PRESS
  const std::size_t lastColumn = static_cast<std::size_t>(std::max({cx, cy, ct, cp}));

  PenSignature sig;
  // Pressure is real only when measured on a scale (MAX_PRESS above 1)
  // and written down (a PRESS column).
  sig.hasPressure = maxPress > 1 && cp >= 0;
  double lastRaw = 0, wrap = 0;
  std::string_view line;
  while (nextLine(line)) {
    const auto row = trimmed(line);
    if (row.empty()) continue;
    std::string_view at[4];  // X, Y, TIME, PRESS
    bool have[4] = {false, false, false, cp < 0};
    forEachField(row, ';', [&](std::size_t i, std::string_view f) {
      const long column = static_cast<long>(i);
      for (int k = 0; k < 4; ++k)
        if (column == columnOf[k]) at[k] = f, have[k] = true;
      return i < lastColumn;
    });
    PenSample s;
    double press = maxPress, t = 0;
    const auto rowName = [&] { return "row " + std::to_string(lineNumber); };
    if (!have[0] || !have[1] || !have[2] || !have[3] || !number(at[0], s.x) || !number(at[1], s.y) ||
        !number(at[2], t) || (cp >= 0 && !number(at[3], press)))
      throw fail(rowName() + " is not a sample");
    // Beyond any screen or tablet, and beyond what the arithmetic keeps exact.
    if (std::fabs(s.x) > 1e9 || std::fabs(s.y) > 1e9 || std::fabs(t) > 1e12) throw fail(rowName() + " is out of range");
    if (press < 0 || press > maxPress)
      throw fail(rowName() + ": PRESS " + std::string(trimmed(at[3])) + " is outside 0 to MAX_PRESS " + maxPressText);
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
