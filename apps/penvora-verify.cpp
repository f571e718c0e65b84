// Lists the signatures of a PDF, checks each one, decodes the biometric
// summary and, with the encryption key, the protected biometric trace.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "ToolOptions.hpp"
#include "core/engine/BiometricKey.hpp"
#include "core/util/BoundedFile.hpp"
#include "core/util/FileReplace.hpp"

#include "core/util/Zlib.hpp"
#include "penvora/SignatureVerifier.hpp"
#ifdef PENVORA_VERIFY_RENDERS
#include "PageComparison.hpp"
#endif

namespace {

const char* const kUsage =
    "usage: penvora-verify FILE.pdf [--trust FILE|DIR]... [--system-trust] [--online] [--require-revocation]\n"
    "                      [--password P | --password-env VAR] [--bio-key KEY.pem] [--json] [--render-bio OUT.png]\n"
    "                      [--render-page N OUT.png] [--overwrite]\n"
    "exit: 0 every signature TOTAL-PASSED, 1 one TOTAL-FAILED (or none signed), 3 one INDETERMINATE,\n"
    "      2 the file or an option cannot be read\n";

// Writes under a temporary name in the same folder and renames when
// complete, so `path` never holds half a picture. Throws with the reason.
void writeAtomically(const std::string& path, const std::string& bytes, bool overwrite) {
  std::string temp = penvora::core::util::temporaryStemBeside(path) + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  std::size_t done = 0;
  int error = 0;
  while (done < bytes.size() && error == 0) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  try {
    if (error != 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    // With --overwrite a previous picture is replaced; a folder, link or
    // device never is.
    penvora::core::util::moveIntoPlace(temp, path, overwrite);
  } catch (const std::exception& e) {
    ::unlink(temp.c_str());
    throw std::runtime_error(std::string("cannot write the picture: ") + e.what());
  }
}

// A minimal RGB PNG: zlib for the image data and the chunk checksums.
void writePng(const std::string& path, int w, int h, const std::vector<unsigned char>& rgb, bool overwrite) {
  std::string raw;
  for (int y = 0; y < h; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(&rgb[static_cast<std::size_t>(y) * w * 3]),
               static_cast<std::size_t>(w) * 3);
  }
  const auto z = penvora::core::util::zlibCompress(raw, 9);
  if (!z) throw std::runtime_error("cannot compress the picture");
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  auto chunk = [&](const std::string& type, const std::string& data) {
    const std::string td = type + data;
    return be32(static_cast<std::uint32_t>(data.size())) + td + be32(penvora::core::util::crc32(td));
  };
  const std::string ihdr = be32(static_cast<std::uint32_t>(w)) + be32(static_cast<std::uint32_t>(h)) +
                           std::string("\x08\x02\x00\x00\x00", 5);
  writeAtomically(path,
                  std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", *z) + chunk("IEND", ""),
                  overwrite);
}

// A PDF is never replaced by a picture, --overwrite or not.
std::string pdfKept(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head.find("%PDF-") != std::string::npos ? path + " is a PDF: a picture never replaces one" : "";
}

// The strokes drawn over white, each point coloured from blue (first) to
// red (last) so the order and speed of writing can be seen.
void renderTrace(const std::vector<penvora::TracePoint>& points, const std::string& path, bool overwrite) {
  const int w = 800, h = 500;
  std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3, 255);
  if (points.empty()) return writePng(path, w, h, rgb, overwrite);
  int minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
  for (const auto& p : points) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  const double scale = std::min((w - 40.0) / std::max(1, maxX - minX), (h - 40.0) / std::max(1, maxY - minY));
  const int lastTime = std::max(1, points.back().time);
  auto plot = [&](double x, double y, double f) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int px = static_cast<int>(x) + dx, py = static_cast<int>(y) + dy;
        if (px < 0 || py < 0 || px >= w || py >= h) continue;
        unsigned char* c = &rgb[(static_cast<std::size_t>(py) * w + px) * 3];
        c[0] = static_cast<unsigned char>(255 * f), c[1] = 40, c[2] = static_cast<unsigned char>(255 * (1 - f));
      }
  };
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto& p = points[i];
    const double x = 20 + (p.x - minX) * scale, y = 20 + (p.y - minY) * scale;
    const double f = static_cast<double>(p.time) / lastTime;
    // Join to the previous point unless the pen was lifted (a time gap).
    if (i > 0 && p.time - points[i - 1].time < 200) {
      const auto& q = points[i - 1];
      const double qx = 20 + (q.x - minX) * scale, qy = 20 + (q.y - minY) * scale;
      const int steps = static_cast<int>(std::max(std::abs(x - qx), std::abs(y - qy))) + 1;
      for (int s = 0; s <= steps; ++s) plot(qx + (x - qx) * s / steps, qy + (y - qy) * s / steps, f);
    } else {
      plot(x, y, f);
    }
  }
  writePng(path, w, h, rgb, overwrite);
}

// The page as the earliest signature saw it and as it is now, side by
// side, written to `path`; the figures go into `out`. The error, if any.
std::string drawPage(const std::string& file, const penvora::VerifiedDocument& doc, int page,
                     const std::string& password, const std::string& path, bool overwrite, nlohmann::json& out) {
  unsigned long long revisionEnd = 0;
  for (const auto& s : doc.signatures)
    if (s.revisionEnd > 0 && (revisionEnd == 0 || s.revisionEnd < revisionEnd)) revisionEnd = s.revisionEnd;
  if (revisionEnd == 0) return "no signed revision to compare the page with";
#ifdef PENVORA_VERIFY_RENDERS
  try {
    const auto c = penvora::tools::comparePage(file, revisionEnd, page, password);
    writeAtomically(path, c.png, overwrite);
    out["pagePicture"] = {{"page", page + 1},
                          {"revisionEnd", revisionEnd},
                          {"differingPixels", c.differingPixels},
                          {"pageExistedWhenSigned", c.pageExistedWhenSigned},
                          {"file", path}};
    return {};
  } catch (const std::exception& e) {
    return std::string("cannot draw the page: ") + e.what();
  }
#else
  (void)file, (void)page, (void)password, (void)path, (void)overwrite, (void)out;
  return "this build has no page drawing (built without Qt)";
#endif
}

}  // namespace

namespace {

int run(int argc, char** argv) {
  namespace tools = penvora::tools;
  std::string file, keyPath, renderPath, pagePicture;
  long long renderPage = 0;
  penvora::VerifyOptions options;
  bool json = false, overwrite = false;
  try {
    const auto args = tools::parseOptions(
        argc, argv,
        {{"--json", false, [&](const std::string&) { json = true; }},
         {"--overwrite", false, [&](const std::string&) { overwrite = true; }},
         {"--password", true, [&](const std::string& v) { options.password = v; }, true},
         {"--trust", true,
          [&](const std::string& v) { options.trustAnchors.push_back(tools::fileName("--trust", v)); }},
         {"--system-trust", false, [&](const std::string&) { options.systemTrust = true; }},
         {"--online", false, [&](const std::string&) { options.online = true; }},
         {"--require-revocation", false, [&](const std::string&) { options.requireRevocation = true; }},
         {"--bio-key", true, [&](const std::string& v) { keyPath = tools::fileName("--bio-key", v); }},
         {"--render-bio", true, [&](const std::string& v) { renderPath = tools::fileName("--render-bio", v); }},
         {"--render-page", true,
          [&](const std::string& v) { renderPage = tools::wholeNumber("--render-page", v, 1, 9999999); }}});
    // --render-page N OUT.png: the picture is the one further argument.
    const std::size_t expected = renderPage > 0 ? 2 : 1;
    if (args.size() < expected)
      throw tools::UsageError(args.empty() ? "FILE.pdf is needed" : "--render-page needs N and OUT.png");
    if (args.size() > expected) throw tools::UsageError("unexpected argument " + args[expected]);
    if (renderPage > 0) pagePicture = tools::fileName("OUT.png", args[1]);
    file = tools::fileName("FILE.pdf", args[0]);
  } catch (const tools::UsageError& e) {
    return tools::usageFailure("penvora-verify", e.what(), kUsage);
  }
  // Before anything is read: a slip on the command line must not cost the
  // document, the key or a picture kept on purpose.
  std::vector<std::string> inputs = options.trustAnchors;
  inputs.push_back(file);
  inputs.push_back(keyPath);
  if (!renderPath.empty() && renderPath == pagePicture) {
    std::fprintf(stderr, "penvora-verify: --render-bio and --render-page name the same file: %s\n", renderPath.c_str());
    return 2;
  }
  for (const std::string* picture : {&renderPath, &pagePicture})
    if (const std::string problem = tools::outputProblem(*picture, inputs, overwrite, "picture", pdfKept);
        !problem.empty()) {
      std::fprintf(stderr, "penvora-verify: %s\n", problem.c_str());
      return 2;
    }
  std::string key;
  if (!keyPath.empty()) {
    try {
      key = penvora::core::util::readBoundedFile(keyPath, penvora::core::util::kKeyFileLimit, "The key");
    } catch (const penvora::core::util::FileReadError& e) {
      std::fprintf(stderr, "penvora-verify: %s\n", e.what());
      return 2;
    }
    if (key.empty()) {
      std::fprintf(stderr, "penvora-verify: The key is empty: %s\n", keyPath.c_str());
      return 2;
    }
    // Any other key that does not open the record is reported with the
    // signature; an encrypted one may be the right key, so say why not.
    if (bool encrypted = false; !penvora::core::engine::BiometricKey::read(key, &encrypted) && encrypted) {
      std::fprintf(stderr, "penvora-verify: %s: %s\n", keyPath.c_str(),
                   penvora::core::engine::BiometricKey::problem(key).c_str());
      return 2;
    }
  }

  penvora::VerifiedDocument doc;
  try {
    options.bioKeyPem = key;
    doc = penvora::verifySignatures(file, options);
  } catch (const penvora::VerificationError& e) {
    std::fprintf(stderr, "penvora-verify: %s\n",
                 tools::withPasswordHint(e.what(), e.wrongPassword(), options.password).c_str());
    return 2;
  }

  nlohmann::json out = {
      {"file", file}, {"dss", doc.hasDss}, {"indication", doc.indication}, {"signatures", nlohmann::json::array()}};
  bool rendered = false;
  std::string renderError;
  for (const auto& s : doc.signatures) {
    nlohmann::json j = {{"indication", s.indication},
                        {"subIndication", s.subIndication},
                        {"reason", s.verdictReason},
                        {"findings", s.findings},
                        {"signingTime", s.signingTime},
                        {"signingTimeProven", s.signingTimeProven},
                        {"certificate", s.certificateStatus},
                        {"chain", s.chain},
                        {"signingCertificateAttribute", s.signingCertificateBinding},
                        {"revocation", nlohmann::json::array()},
                        {"timestampStatus", s.timestampStatus},
                        {"timestampAuthority", s.timestampAuthority},
                        {"field", s.field},
                        {"page", s.page},
                        {"subFilter", s.subFilter},
                        {"signer", s.signer},
                        {"valid", s.valid},
                        {"profile", s.profile},
                        {"timestamp", s.timestamp},
                        {"dss", doc.hasDss},
                        {"coversWholeFile", s.coversWholeFile},
                        {"intact", s.intact},
                        {"revisionEnd", s.revisionEnd},
                        {"certification", s.certification},
                        {"modification", s.modification},
                        {"revisions", nlohmann::json::array()},
                        {"rect", {s.rect[0], s.rect[1], s.rect[2], s.rect[3]}},
                        {"bioSummary", nullptr},
                        {"bioRecord", nullptr}};
    if (!s.problem.empty()) j["problem"] = s.problem;
    for (const auto& r : s.revocation) {
      nlohmann::json e = {{"subject", r.subject}, {"status", r.status}, {"source", r.source}};
      if (!r.revokedAt.empty()) e["revokedAt"] = r.revokedAt;
      if (!r.problem.empty() && r.status != "good") e["problem"] = r.problem;
      j["revocation"].push_back(e);
    }
    for (const auto& u : s.laterUpdates) {
      nlohmann::json r = {{"end", u.end}, {"change", u.change}};
      if (!u.detail.empty()) r["detail"] = u.detail;
      j["revisions"].push_back(r);
    }
    if (s.biometricSummary)
      j["bioSummary"] = *s.biometricSummary;
    else if (s.hasBiometricSummary)
      j["bioSummary"] = "unreadable";
    if (s.biometricRecord) {
      j["bioRecord"] = *s.biometricRecord;
      if (!renderPath.empty() && !rendered) {
        try {
          renderTrace(s.trace, renderPath, overwrite);
        } catch (const std::exception& e) {
          renderError = e.what();
        }
        rendered = true;
      }
    } else if (!key.empty() && s.biometricSummary && s.hasBiometricData) {
      j["bioRecord"] = "the key does not open the protected record";
    }
    out["signatures"].push_back(j);
  }

  std::string pageError;
  if (renderPage > 0)
    pageError = drawPage(file, doc, static_cast<int>(renderPage - 1), options.password, pagePicture, overwrite, out);

  if (json) {
    std::cout << out.dump(2) << "\n";
  } else {
    std::cout << file << ": " << doc.signatures.size() << " signature(s), DSS " << (doc.hasDss ? "present" : "absent")
              << ", document " << doc.indication << "\n";
    for (const auto& j : out["signatures"]) {
      const std::string sub = j["subIndication"].get<std::string>();
      std::cout << "\n"
                << j["indication"].get<std::string>() << (sub.empty() ? "" : " " + sub) << "  "
                << j["field"].get<std::string>()
                << (j["page"].get<int>() >= 0 ? " (page " + std::to_string(j["page"].get<int>() + 1) + ")"
                                              : std::string(" (on no page)"))
                << (j["reason"].get<std::string>().empty() ? "" : ": " + j["reason"].get<std::string>()) << "\n"
                << "  sub-filter: " << j["subFilter"].get<std::string>() << "\n"
                << "  signer:     " << j["signer"].get<std::string>()
                << "\n"
                // The bytes alone; a disallowed later change shows under modification.
                << "  integrity:  " << (j["intact"].get<bool>() ? "valid" : "NOT VALID")
                << (!j["intact"].get<bool>() && j.contains("problem") ? " (" + j["problem"].get<std::string>() + ")"
                                                                      : "")
                << "\n"
                << "  profile:    " << j["profile"].get<std::string>() << "\n"
                << "  revision:   bytes 0-" << j["revisionEnd"].get<unsigned long long>()
                << (j["certification"].get<int>()
                        ? ", certified with DocMDP permission " + std::to_string(j["certification"].get<int>())
                        : std::string())
                << "\n";
      for (const auto& r : j["revisions"])
        std::cout << "  later update to byte " << r["end"].get<unsigned long long>() << ": "
                  << r["change"].get<std::string>()
                  << (r.contains("detail") ? " (" + r["detail"].get<std::string>() + ")" : "") << "\n";
      std::cout << "  modification: " << j["modification"].get<std::string>() << "\n";
      if (!j["certificate"].get<std::string>().empty()) {
        std::cout << "  certificate: " << j["certificate"].get<std::string>() << "\n";
        for (const auto& c : j["chain"]) std::cout << "    " << c.get<std::string>() << "\n";
      }
      if (!j["signingCertificateAttribute"].get<std::string>().empty())
        std::cout << "  signing-certificate attribute: " << j["signingCertificateAttribute"].get<std::string>() << "\n";
      for (const auto& r : j["revocation"])
        std::cout << "  revocation: " << r["subject"].get<std::string>() << ": " << r["status"].get<std::string>()
                  << (r["source"].get<std::string>().empty() ? "" : " (" + r["source"].get<std::string>() + ")")
                  << (r.contains("revokedAt") ? " at " + r["revokedAt"].get<std::string>() : "")
                  << (r.contains("problem") ? ": " + r["problem"].get<std::string>() : "") << "\n";
      if (!j["signingTime"].get<std::string>().empty())
        std::cout << "  signing time: " << j["signingTime"].get<std::string>()
                  << (j["signingTimeProven"].get<bool>() ? " (proven by a time-stamp)" : " (claimed, unproven)")
                  << "\n";
      if (!j["timestampStatus"].get<std::string>().empty())
        std::cout << "  time-stamp: " << j["timestamp"].get<std::string>() << " by "
                  << j["timestampAuthority"].get<std::string>() << ": " << j["timestampStatus"].get<std::string>()
                  << "\n";
      for (const auto& f : j["findings"])
        if (f != j["reason"]) std::cout << "  note: " << f.get<std::string>() << "\n";
      if (j["bioSummary"].is_object()) {
        std::cout << "  biometric summary:\n";
        for (auto& [k, v] : j["bioSummary"].items()) std::cout << "    " << k << " = " << v.get<std::string>() << "\n";
      }
      if (j["bioRecord"].is_string()) std::cout << "  biometric record:\n" << j["bioRecord"].get<std::string>() << "\n";
    }
    if (out.contains("pagePicture")) {
      const auto& r = out["pagePicture"];
      std::cout << "\npage " << r["page"].get<int>() << " as signed (bytes 0-"
                << r["revisionEnd"].get<unsigned long long>() << ") and now, " << r["differingPixels"].get<long long>()
                << " pixel(s) differ: " << r["file"].get<std::string>() << "\n";
    }
  }
  if (!pageError.empty()) {
    std::fprintf(stderr, "penvora-verify: %s\n", pageError.c_str());
    return 2;
  }
  if (!renderError.empty()) {
    std::fprintf(stderr, "penvora-verify: %s\n", renderError.c_str());
    return 2;
  }
  if (!renderPath.empty() && !rendered) std::fprintf(stderr, "penvora-verify: no decrypted trace to render\n");
  // Unsigned counts as failed: there is nothing the back office can rely on.
  if (doc.signatures.empty() || doc.indication == "TOTAL-FAILED") return 1;
  return doc.indication == "INDETERMINATE" ? 3 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "penvora-verify: %s\n", e.what());
    return 2;
  }
}
