#pragma once
// Test PDFs made at test time and the independent validators run on the
// signed results.
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/capture/PlatformFacts.hpp"
#include "core/engine/ESS.hpp"
#include "core/engine/LogoImage.hpp"
#include "core/securepdf/Certificate.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Base64.hpp"
#include "core/util/Hex.hpp"
#include "core/util/Zlib.hpp"
#include "support/TestSupport.hpp"

namespace pdftest {

// Writes numbered objects (1..n) with a classic cross-reference table.
inline std::string buildPdf(const std::vector<std::string>& objects, int rootObject = 1) {
  std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (auto o : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root " + std::to_string(rootObject) +
         " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

// The same with a cross-reference stream (as object n + 1): qpdf would
// renumber a dangling reference when it writes one. `freeRows` more free
// entries after those, the rows deflated when `compress`.
inline std::string buildPdfWithXrefStream(const std::vector<std::string>& objects, int rootObject = 1,
                                          std::size_t freeRows = 0, bool compress = false) {
  std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::string entries("\0\0\0\0\0\xFF\xFF", 7);
  auto entry = [&](std::size_t offset) {
    entries += '\x01';
    for (int b = 3; b >= 0; --b) entries += static_cast<char>((offset >> (8 * b)) & 0xFF);
    entries += std::string(2, '\0');
  };
  for (std::size_t i = 0; i < objects.size(); ++i) {
    entry(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  entry(xref);
  entries.append(7 * freeRows, '\0');
  const std::string size = std::to_string(objects.size() + 2 + freeRows);
  if (compress) entries = penvora::core::util::zlibCompress(entries, 9).value();
  out += std::to_string(objects.size() + 1) + " 0 obj\n<< /Type /XRef /Size " + size + " /W [1 4 2] /Root " +
         std::to_string(rootObject) + " 0 R " + (compress ? "/Filter /FlateDecode " : "") + "/Length " +
         std::to_string(entries.size()) + " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}

inline std::string stream(const std::string& dict, const std::string& data) {
  return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A file written object by object and listed by cross-reference streams of
// rows [type, 4 bytes, 2 bytes]; each `finish` ends a revision.
struct XrefStreamFile {
  std::string out = "%PDF-1.7\n", rows;
  std::map<std::pair<int, int>, std::size_t> at;
  std::size_t lastXref = 0;

  void object(int n, const std::string& body, int generation = 0, const std::string& header = "") {
    at[{n, generation}] = out.size();
    out += (header.empty() ? std::to_string(n) + " " + std::to_string(generation) + " obj" : header) + "\n" + body +
           "\nendobj\n";
  }
  void row(int type, std::size_t field, int second) {
    rows += static_cast<char>(type);
    for (int b = 3; b >= 0; --b) rows += static_cast<char>((field >> (8 * b)) & 0xFF);
    rows += static_cast<char>((second >> 8) & 0xFF);
    rows += static_cast<char>(second & 0xFF);
  }
  void listed(int n, int generation = 0, std::size_t off = 0) { row(1, at.at({n, generation}) + off, generation); }
  // The section as object `n`, whose own row comes last in its /Index.
  std::string finish(int n, const std::string& keys) {
    lastXref = out.size();
    row(1, lastXref, 0);
    out += std::to_string(n) + " 0 obj\n" + stream("/Type /XRef /W [1 4 2] " + keys, rows) + "\nendobj\nstartxref\n" +
           std::to_string(lastXref) + "\n%%EOF\n";
    rows.clear();
    return out;
  }
};

struct PageSpec {
  int rotate = 0;
  std::string mediaBox = "[0 0 612 792]";
  std::string text = "Penvora test page";
  std::string cropBox = {};  // none when empty
};

// A document of the given pages, each with one line of text. With
// `signatureFields`, an AcroForm holds empty signature fields: "Sig1" on
// page 0 and "Sig2" under a parent "group" on the last page.
inline std::string documentPdf(const std::vector<PageSpec>& pages, bool signatureFields = false) {
  // 1 catalog, 2 pages, 3 font, then per page: page, content; then fields.
  const int n = static_cast<int>(pages.size());
  const int firstField = 4 + 2 * n;
  std::vector<std::string> o;
  std::string catalog = "<< /Type /Catalog /Pages 2 0 R";
  if (signatureFields)
    catalog += " /AcroForm << /Fields [" + std::to_string(firstField) + " 0 R " + std::to_string(firstField + 1) +
               " 0 R] /SigFlags 0 >>";
  o.push_back(catalog + " >>");
  std::string kids;
  for (int i = 0; i < n; ++i) kids += std::to_string(4 + 2 * i) + " 0 R ";
  o.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>");
  o.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  for (int i = 0; i < n; ++i) {
    std::string annots;
    if (signatureFields && i == 0) annots += std::to_string(firstField) + " 0 R ";
    if (signatureFields && i == n - 1) annots += std::to_string(firstField + 2) + " 0 R ";
    const std::string crop = pages[i].cropBox.empty() ? "" : " /CropBox " + pages[i].cropBox;
    o.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + pages[i].mediaBox + crop + " /Rotate " +
                std::to_string(pages[i].rotate) + " /Contents " + std::to_string(5 + 2 * i) +
                " 0 R /Resources << /Font << /F1 3 0 R >> >>" + (annots.empty() ? "" : " /Annots [" + annots + "]") +
                " >>");
    o.push_back(stream("", "BT /F1 18 Tf 72 700 Td (" + pages[i].text + " " + std::to_string(i + 1) + ") Tj ET"));
  }
  if (signatureFields) {
    const std::string lastPage = std::to_string(4 + 2 * (n - 1));
    o.push_back("<< /FT /Sig /T (Sig1) /Type /Annot /Subtype /Widget /Rect [100 100 300 160] /F 4 /P 4 0 R >>");
    o.push_back("<< /T (group) /Kids [" + std::to_string(firstField + 2) + " 0 R] >>");
    o.push_back("<< /FT /Sig /T (Sig2) /Parent " + std::to_string(firstField + 1) +
                " 0 R /Type /Annot /Subtype /Widget /Rect [50 400 250 460] /F 4 /P " + lastPage + " 0 R >>");
  }
  return buildPdf(o);
}

inline std::string plainPdf(int pages = 1) { return documentPdf(std::vector<PageSpec>(pages)); }

// Three pages, the middle one turned a quarter, with the signature fields
// and the text "Madrid" that float placement looks for.
inline std::string contractPdf() {
  return documentPdf(
      {{0, "[0 0 612 792]", "Contract"}, {90, "[0 0 612 792]", "Signed at Madrid"}, {0, "[0 0 612 792]", "The end"}},
      /*signatureFields=*/true);
}

// A copy of `in` encrypted with AES-256 and the given user password.
inline std::filesystem::path encrypted(const std::filesystem::path& in, const std::string& user) {
  const auto out = in.parent_path() / ("locked-" + in.filename().string());
  testsupport::run("qpdf --encrypt '" + user + "' owner 256 -- '" + in.string() + "' '" + out.string() + "'");
  return out;
}

// A biometric record as the capture writes it, with `points` rows; the
// software field names the document's digest.
inline std::string bioRecord(int points, const std::string& digest = "abc") {
  using penvora::core::util::base64Encode;
  std::string r =
      "MAX_X;MAX_Y;MAX_PRESS;LCD_WIDTH;LCD_HEIGHT;LX;RX;TY;BY;TIME_START;TIME_END;HARDWARE;SOFTWARE;EXTRA\n"
      "1280;800;1;1280;800;20;620;100;500;01/02/2026@10:00:00;01/02/2026@10:00:09;" +
      base64Encode(std::string_view("Test tablet")) + ";" +
      base64Encode(std::string("Penvora SDK ") + penvora::core::capture::kPlatformName +
                   "|1.0|SHA-2-512 PDF: " + digest) +
      ";\nX;Y;PRESS;SW;TIME";
  for (int i = 0; i < points; ++i)
    r +=
        "\n" + std::to_string(100 + i * 5) + ";" + std::to_string(200 + (i % 7) * 3) + ";1;1;" + std::to_string(i * 12);
  return r;
}

// The test certificate the biometric record is sealed to, as the host
// hands it over (base64 of the PEM text).
inline std::string bioCertB64() {
  return penvora::core::util::base64Encode(testsupport::readText(testsupport::fixture("pki/test-bio-encryption.pem")));
}

// A white JPEG of w x h pixels with a black block, as raw bytes.
inline std::string inkJpeg(int w, int h, int x0, int y0, int x1, int y1) {
  penvora::core::util::Bytes rgba(static_cast<std::size_t>(w * h * 4), 255);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c) rgba[static_cast<std::size_t>((y * w + x) * 4 + c)] = 0;
  return penvora::core::util::toString(*penvora::core::engine::encodeJpeg(rgba, w, h, 1.0));
}

// The default identity, loaded once for the whole test run.
inline std::shared_ptr<penvora::core::securepdf::Certificate> defaultCertificate() {
  static std::shared_ptr<penvora::core::securepdf::Certificate> cert = [] {
    auto container = penvora::core::engine::ESS::defaultIdentity();
    auto path = penvora::core::engine::ESS::writeTempP12(*container);
    auto c = std::make_shared<penvora::core::securepdf::Certificate>(
        penvora::core::securepdf::CertStoreTypes::cstPFXFile, path.string(),
        penvora::core::engine::ESS::certificatePassword(std::nullopt), "*");
    std::filesystem::remove(path);
    return c;
  }();
  return cert;
}

// A signer with the usual settings: SHA-512, a 200 x 60 box at (72, 72)
// on the first page.
inline penvora::core::securepdf::PDFSign signer(const std::string& in, const std::string& out) {
  penvora::core::securepdf::PDFSign s;
  s.inputFile = in;
  s.outputFile = out;
  s.signingCert = defaultCertificate();
  s.signatureHashAlgorithm = "SHA512";
  s.signatureWidgetOffsetX = s.signatureWidgetOffsetY = "72";
  s.signatureWidgetWidth = "200";
  s.signatureWidgetHeight = "60";
  s.signatureAuthorName = "Ana Tester";
  return s;
}

// Signing must fail with a message containing `expected` and leave `dir`
// exactly as it was (no output, no temporary file). The message.
inline std::string expectFailure(penvora::core::securepdf::PDFSign& s, const std::string& expected,
                                 const std::filesystem::path& dir) {
  const auto before = testsupport::entries(dir);
  const std::string error = testsupport::errorOf<penvora::core::securepdf::SecurePdfError>([&] { s.sign(); });
  EXPECT_NE(error.find(expected), std::string::npos) << error;
  EXPECT_EQ(testsupport::entries(dir), before);
  return error;
}

struct SignatureBytes {
  long long range[4] = {0, 0, 0, 0};
  std::string signedData;  // the two byte ranges
  std::string cmsDer;      // /Contents without padding
};

// Every signature in the file, in file order, read from the /ByteRange
// arrays the way a validator does.
inline std::vector<SignatureBytes> signatures(const std::string& file) {
  std::vector<SignatureBytes> out;
  for (std::size_t at = file.find("/ByteRange"); at != std::string::npos; at = file.find("/ByteRange", at + 1)) {
    SignatureBytes s;
    if (std::sscanf(file.c_str() + at, "/ByteRange [%lld %lld %lld %lld]", &s.range[0], &s.range[1], &s.range[2],
                    &s.range[3]) != 4 ||
        s.range[2] + s.range[3] > static_cast<long long>(file.size()))
      continue;
    s.signedData = file.substr(s.range[0], s.range[1]) + file.substr(s.range[2], s.range[3]);
    std::string der =
        penvora::core::util::hexDecode(file.substr(s.range[1] + 1, s.range[2] - s.range[1] - 2)).value_or("");
    // Cut the zero padding using the outer DER length (two or three length bytes).
    const std::size_t lengthBytes = der.size() > 5 ? static_cast<unsigned char>(der[1]) - 0x80 : 0;
    if (lengthBytes == 2 || lengthBytes == 3) {
      std::size_t n = 0;
      for (std::size_t i = 0; i < lengthBytes; ++i) n = n << 8 | static_cast<unsigned char>(der[2 + i]);
      der.resize(2 + lengthBytes + n);
    }
    s.cmsDer = der;
    out.push_back(s);
  }
  return out;
}

// `openssl cms -verify` of one signature over its byte ranges (the test
// certificate is not trusted, so the chain is not checked).
inline bool opensslVerifies(const SignatureBytes& s, const std::filesystem::path& workDir) {
  testsupport::writeText(workDir / "sig.der", s.cmsDer);
  testsupport::writeText(workDir / "content.bin", s.signedData);
  auto r = testsupport::run("openssl cms -verify -binary -noverify -purpose any -inform DER -in '" +
                            (workDir / "sig.der").string() + "' -content '" + (workDir / "content.bin").string() +
                            "' -out /dev/null 2>&1");
  return r.exitCode == 0;
}

inline std::string cmsPrint(const SignatureBytes& s, const std::filesystem::path& workDir) {
  testsupport::writeText(workDir / "sig.der", s.cmsDer);
  return testsupport::run("openssl cms -cmsout -print -inform DER -in '" + (workDir / "sig.der").string() + "' 2>&1")
      .output;
}

// pdfsig's report; each signature's "Signature Validation" line.
inline std::vector<std::string> pdfsigValidations(const std::filesystem::path& pdf, const std::string& password = "") {
  auto report = [&](const char* option) {
    return testsupport::run("pdfsig " + (password.empty() ? std::string() : option + ("'" + password + "' ")) + "'" +
                            pdf.string() + "' 2>/dev/null");
  };
  auto r = report("-upw ");
  if (r.exitCode != 0 && !password.empty()) r = report("-opw ");
  std::vector<std::string> lines;
  std::size_t at = 0;
  while ((at = r.output.find("Signature Validation: ", at)) != std::string::npos) {
    at += 22;
    lines.push_back(r.output.substr(at, r.output.find('\n', at) - at));
  }
  return lines;
}

inline std::string qpdfWith(const std::string& password) {
  return "qpdf " + (password.empty() ? std::string() : "--password='" + password + "' ");
}

inline bool qpdfCheckClean(const std::filesystem::path& pdf, const std::string& password = "") {
  auto r = testsupport::run(qpdfWith(password) + "--check '" + pdf.string() + "' 2>&1");
  return r.exitCode == 0 && r.output.find("No syntax or stream encoding errors") != std::string::npos;
}

// The document as qpdf's QDF form (decrypted, uncompressed), with each
// run of white space made one space, for reading.
inline std::string qdf(const std::filesystem::path& pdf, const std::string& password = "") {
  std::string out;
  for (char c : testsupport::run(qpdfWith(password) + "--qdf --object-streams=disable --decrypt '" + pdf.string() +
                                 "' - 2>/dev/null")
                    .output) {
    const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
    if (space && !out.empty() && out.back() == ' ') continue;
    out += space ? ' ' : c;
  }
  return out;
}

inline std::size_t occurrences(const std::string& text, const std::string& needle) {
  std::size_t n = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// The largest distance between matching corners of two boxes.
inline double cornerGap(const penvora::Rect& a, const penvora::Rect& b) {
  return std::max({std::abs(a.x - b.x), std::abs(a.y - b.y), std::abs(a.x + a.width - b.x - b.width),
                   std::abs(a.y + a.height - b.y - b.height)});
}

// The /Rect of the first signature widget (x, y, width, height), as qpdf
// reads it.
inline std::optional<penvora::Rect> signedWidgetRect(const std::filesystem::path& pdf) {
  const auto out = testsupport::run("qpdf --json=2 --json-key=qpdf '" + pdf.string() + "'").output;
  const auto json = nlohmann::json::parse(out, nullptr, false);
  if (json.is_discarded()) return std::nullopt;
  for (const auto& [key, object] : json["qpdf"][1].items()) {
    const auto& v = object.contains("value") ? object["value"] : nlohmann::json();
    if (!v.is_object() || v.value("/FT", "") != "/Sig" || !v.contains("/Rect")) continue;
    const auto& r = v["/Rect"];
    return penvora::Rect{r[0].get<double>(), r[1].get<double>(), r[2].get<double>() - r[0].get<double>(),
                         r[3].get<double>() - r[1].get<double>()};
  }
  return std::nullopt;
}

// The bounds of the dark pixels within `area` of the first page rendered
// by pdftoppm as a reader shows it (crop box, rotation) at 72 dpi: one
// pixel a point, y downwards from the shown page's top-left corner.
inline std::optional<penvora::Rect> inkOnShownPage(const std::filesystem::path& pdf, const penvora::Rect& area,
                                                   const std::filesystem::path& workDir) {
  const auto prefix = (workDir / "shown").string();
  if (testsupport::run("pdftoppm -r 72 -gray -cropbox -singlefile '" + pdf.string() + "' '" + prefix + "'").exitCode)
    return std::nullopt;
  const std::string pgm = testsupport::readText(prefix + ".pgm");
  int w = 0, h = 0, max = 0, used = 0;
  if (std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &w, &h, &max, &used) != 3) return std::nullopt;
  const auto* pixels = reinterpret_cast<const unsigned char*>(pgm.data()) + used + 1;
  int x0 = w, y0 = h, x1 = -1, y1 = -1;
  for (int y = std::max(0, int(area.y)); y < std::min(h, int(area.y + area.height)); ++y)
    for (int x = std::max(0, int(area.x)); x < std::min(w, int(area.x + area.width)); ++x)
      if (pixels[y * w + x] < 100) {
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
      }
  if (x1 < 0) return std::nullopt;
  return penvora::Rect{double(x0), double(y0), double(x1 + 1 - x0), double(y1 + 1 - y0)};
}

}  // namespace pdftest
