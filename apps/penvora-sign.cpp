// Signs a PDF with the embedded default identity (or a PKCS#12 given on the
// command line): the quickest way to see the signing library at work.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/engine/ESS.hpp"
#include "core/securepdf/Certificate.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/securepdf/SecurePdfError.hpp"

using namespace penvora::core::engine;
using namespace penvora::core::securepdf;
namespace engine = penvora::core::engine;

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: penvora-sign IN.pdf OUT.pdf [--password P] [--p12 FILE --p12-password P]\n"
               "                    [--page N|*] [--rect X,Y,W,H] [--field N] [--invisible]\n"
               "                    [--reason TEXT] [--tsa URL] [--overwrite]\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace penvora;
  using namespace penvora::core::securepdf;
  if (argc < 3) {
    usage();
    return 2;
  }
  PDFSign s;
  s.inputFile = argv[1];
  s.outputFile = argv[2];
  s.signatureHashAlgorithm = "SHA512";
  s.signatureWidgetOffsetX = "36";
  s.signatureWidgetOffsetY = "36";
  s.signatureWidgetWidth = "180";
  s.signatureWidgetHeight = "60";
  std::string p12, p12Password;
  bool haveP12Password = false;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--password")
      s.password = next();
    else if (a == "--p12")
      p12 = next();
    else if (a == "--p12-password") {
      p12Password = next();
      haveP12Password = true;
    } else if (a == "--page")
      s.signatureWidgetPages = next();
    else if (a == "--field")
      s.signatureFields = std::stoi(next());
    else if (a == "--invisible")
      s.setWidgetProperty("Invisible", "true");
    else if (a == "--reason")
      s.signatureReason = next();
    else if (a == "--overwrite")
      s.overwrite = true;
    else if (a == "--tsa") {
      s.timestampServer = next();
      s.signatureProfile = PDFSignSignatureProfiles::pfBaselineT;
    } else if (a == "--rect") {
      double x, y, w, h;
      if (std::sscanf(next().c_str(), "%lf,%lf,%lf,%lf", &x, &y, &w, &h) != 4) {
        usage();
        return 2;
      }
      s.signatureWidgetOffsetX = std::to_string(x);
      s.signatureWidgetOffsetY = std::to_string(y);
      s.signatureWidgetWidth = std::to_string(w);
      s.signatureWidgetHeight = std::to_string(h);
    } else {
      usage();
      return 2;
    }
  }
  std::filesystem::path temp;
  std::error_code ec;
  try {
    if (p12.empty()) {
      auto identity = engine::ESS::defaultIdentity();
      if (!identity) throw SecurePdfError("The default identity is not available");
      temp = engine::ESS::writeTempP12(*identity);
      p12 = temp.string();
    }
    const std::string pw = haveP12Password ? p12Password : engine::ESS::certificatePassword(std::nullopt);
    s.signingCert = std::make_shared<Certificate>(CertStoreTypes::cstPFXFile, p12, pw, "*");
    if (!temp.empty()) std::filesystem::remove(temp, ec);
    temp.clear();
    s.signatureAuthorName = s.signingCert->commonName();
    s.sign();
  } catch (const std::exception& e) {
    if (!temp.empty()) std::filesystem::remove(temp, ec);
    std::fprintf(stderr, "penvora-sign: %s\n", e.what());
    return 1;
  }
  std::printf("%s\n", s.outputFile.c_str());
  return 0;
}
