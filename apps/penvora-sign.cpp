// Signs a PDF with the embedded default identity (or a PKCS#12 given on the
// command line): the quickest way to see the signing library at work.
#include <openssl/pem.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ToolOptions.hpp"

#include "core/engine/ESS.hpp"
#include "core/securepdf/Certificate.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/OpenSsl.hpp"

using namespace penvora::core::engine;
using namespace penvora::core::securepdf;
namespace engine = penvora::core::engine;

namespace {

const char* const kUsage =
    "usage: penvora-sign IN.pdf OUT.pdf [--password P] [--p12 FILE --p12-password P]\n"
    "                    [--page N|*] [--rect X,Y,W,H] [--field N] [--invisible]\n"
    "                    [--reason TEXT] [--tsa URL] [--overwrite]\n"
    "       penvora-sign --print-certificate [--p12 FILE --p12-password P]\n"
    "a password or the TSA URL may come from the environment instead: --password-env VAR, --p12-password-env VAR,\n"
    "--tsa-env VAR\n";

// Far more pages and fields than any document holds; beyond them a number
// is a typing mistake, not a request.
constexpr long long kMaxIndex = 9999999;

}  // namespace

int main(int argc, char** argv) {
  using namespace penvora;
  using namespace penvora::core::securepdf;
  namespace tools = penvora::tools;
  PDFSign s;
  s.signatureHashAlgorithm = "SHA512";
  s.signatureWidgetOffsetX = "36";
  s.signatureWidgetOffsetY = "36";
  s.signatureWidgetWidth = "180";
  s.signatureWidgetHeight = "60";
  std::string p12, p12Password;
  bool haveP12Password = false, printCertificate = false;
  auto text = [](std::string& target) { return [&target](const std::string& v) { target = v; }; };
  const std::vector<tools::Option> options{
      {"--password", true, text(s.password), true},
      {"--p12", true, [&](const std::string& v) { p12 = tools::fileName("--p12", v); }},
      {"--p12-password", true,
       [&](const std::string& v) {
         p12Password = v;
         haveP12Password = true;
       },
       true},
      {"--page", true,
       [&](const std::string& v) {
         s.signatureWidgetPages = v == "*" ? v : std::to_string(tools::wholeNumber("--page", v, 0, kMaxIndex));
       }},
      {"--field", true,
       [&](const std::string& v) {
         s.signatureFields = static_cast<std::int32_t>(tools::wholeNumber("--field", v, 0, kMaxIndex));
       }},
      {"--invisible", false, [&](const std::string&) { s.setWidgetProperty("Invisible", "true"); }},
      {"--reason", true, text(s.signatureReason)},
      {"--overwrite", false, [&](const std::string&) { s.overwrite = true; }},
      {"--print-certificate", false, [&](const std::string&) { printCertificate = true; }},
      {"--tsa", true,
       [&](const std::string& v) {
         s.timestampServer = v;
         s.signatureProfile = PDFSignSignatureProfiles::pfBaselineT;
       },
       true},
      {"--rect", true,
       [&](const std::string& v) {
         const auto r = tools::rectangle("--rect", v);
         s.signatureWidgetOffsetX = std::to_string(r[0]);
         s.signatureWidgetOffsetY = std::to_string(r[1]);
         s.signatureWidgetWidth = std::to_string(r[2]);
         s.signatureWidgetHeight = std::to_string(r[3]);
       }},
  };
  try {
    const auto files = tools::parseOptions(argc, argv, options);
    if (printCertificate && !files.empty()) throw tools::UsageError("--print-certificate takes no files");
    if (printCertificate) {
    } else if (files.size() != 2)
      throw tools::UsageError(files.size() < 2 ? "IN.pdf and OUT.pdf are needed" : "unexpected argument " + files[2]);
    if (!printCertificate) {
      s.inputFile = tools::fileName("IN.pdf", files[0]);
      s.outputFile = tools::fileName("OUT.pdf", files[1]);
    }
  } catch (const tools::UsageError& e) {
    return tools::usageFailure("penvora-sign", e.what(), kUsage);
  }
  // The document is parsed on a second thread while the identity is
  // decoded; sign() then writes from that opening (or, when it failed,
  // opens again and says why). Joined before `s` is touched again.
  std::jthread opening;
  if (!printCertificate)
    opening = std::jthread([&s] {
      try {
        s.open();
      } catch (const std::exception&) {
      }
    });
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
    auto certificate = std::make_shared<Certificate>(CertStoreTypes::cstPFXFile, p12, pw, "*");
    if (!temp.empty()) std::filesystem::remove(temp, ec);
    temp.clear();
    if (opening.joinable()) opening.join();
    s.signingCert = std::move(certificate);
    if (printCertificate) {
      // For a verifier's --trust: the identity's certificate, PEM.
      penvora::core::util::Owned<BIO, BIO_free> bio(BIO_new(BIO_s_mem()));
      char* pem = nullptr;
      if (!bio || PEM_write_bio_X509(bio.get(), s.signingCert->certificate()) != 1)
        throw SecurePdfError("Cannot write the certificate");
      const long n = BIO_get_mem_data(bio.get(), &pem);
      std::fwrite(pem, 1, static_cast<std::size_t>(n), stdout);
      return 0;
    }
    s.signatureAuthorName = s.signingCert->commonName();
    s.sign();
  } catch (const std::exception& e) {
    if (!temp.empty()) std::filesystem::remove(temp, ec);
    const auto* refused = dynamic_cast<const SecurePdfError*>(&e);
    const bool wrongPassword = refused && refused->kind() == SecurePdfError::Kind::wrongPassword;
    std::fprintf(stderr, "penvora-sign: %s\n", tools::withPasswordHint(e.what(), wrongPassword, s.password).c_str());
    return 1;
  }
  std::printf("%s\n", s.outputFile.c_str());
  // The output is in place. Leaving without unwinding lets the process's
  // end release the parsed document at once, instead of object by object.
  std::exit(0);
}
