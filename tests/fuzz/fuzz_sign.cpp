// The PDF open-and-sign path: any bytes as the input document. Either a
// signed output or an error the library reports, never a crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "FuzzScratch.hpp"
#include "core/engine/ESS.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/securepdf/SecurePdfError.hpp"

namespace {

std::shared_ptr<penvora::core::securepdf::Certificate> certificate() {
  static auto cert = [] {
    auto path = penvora::core::engine::ESS::writeTempP12(*penvora::core::engine::ESS::defaultIdentity());
    auto c = std::make_shared<penvora::core::securepdf::Certificate>(
        penvora::core::securepdf::CertStoreTypes::cstPFXFile, path.string(),
        penvora::core::engine::ESS::certificatePassword(std::nullopt), "*");
    std::filesystem::remove(path);
    return c;
  }();
  return cert;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzScratch scratch("penvora-fuzz-sign");
  const std::filesystem::path& dir = scratch.dir();
  const auto in = dir / "in.pdf", out = dir / "out.pdf";
  std::ofstream(in, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  penvora::core::securepdf::PDFSign s;
  s.inputFile = in.string();
  s.outputFile = out.string();
  s.overwrite = true;
  s.signingCert = certificate();
  s.signatureHashAlgorithm = "SHA512";
  s.signatureWidgetWidth = "100";
  s.signatureWidgetHeight = "40";
  s.password = "u";
  // Every error the library reports is a handled outcome; only a crash,
  // a sanitizer report or a hang is a finding.
  try {
    s.sign();
  } catch (const std::exception&) {
  }
  return 0;
}
