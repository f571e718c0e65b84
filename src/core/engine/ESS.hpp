#pragma once
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include <vector>

#include "core/capture/PlatformFacts.hpp"
#include "core/securepdf/SignatureConfigurable.hpp"
#include "core/util/Bytes.hpp"
#include "core/util/Hex.hpp"
#include "penvora/ESS.hpp"
#include "penvora/ESSParams.hpp"
#include "penvora/PenvoraSDKParams.hpp"

namespace penvora::core::securepdf {
class PDFSign;
}

namespace penvora::core::engine {

using penvora::SignatureMetadata;

// The signing engine. Nothing here throws across its boundary except
// writeTempP12 (which the signing routine catches); failures are one log
// line and an absent result.
class ESS {
 public:
  // --- Biometric protection -------------------------------------------
  // The record's two header lines, CR LF joined, zlib, base64.
  static std::optional<std::string> recordSummary(const std::string& recordB64);
  // The whole record as SDI layout, zlib, CMS EnvelopedData for the
  // encryption certificate, base64.
  static std::optional<std::string> protectRecord(const std::string& recordB64,
                                                  const std::optional<std::string>& encKeyB64);
  // Adds both values as custom signed attributes through two config calls.
  static bool addBioData(const std::string& recordB64, const std::optional<std::string>& encKeyB64,
                         securepdf::SignatureConfigurable& signer);
  // The record with the SOFTWARE digest replaced by the document's.
  static std::string restampDocumentHash(const std::string& recordB64, const std::string& documentPath);
  // The certificate text for the biometric envelope (given or default).
  static std::string encryptionCertificateText(const std::optional<std::string>& encKeyB64);
  // EnvelopedData of payload for the certificate (DER, PEM or base64 text).
  static std::optional<util::Bytes> envelope(const util::Bytes& payload, const util::Bytes& certificate);
  static std::optional<util::Bytes> aesEncrypt(const util::Bytes& payload, const util::Bytes& key,
                                               const util::Bytes& iv);
  // Bytes as uppercase hexadecimal text, the form binary values take on
  // their way to the signing library.
  static std::string hexUpper(const util::Bytes& bytes) { return util::hexEncode(bytes, util::HexCase::Upper); }
  // Issuer Name TLV and serialNumber content bytes, read from the DER.
  static std::optional<std::pair<util::Bytes, util::Bytes>> issuerAndSerial(const util::Bytes& certificateDer);

  // --- Signing -------------------------------------------------------
  // One signed PDF per entry of documentUris, in order; the empty list
  // when any document fails (each failure is one log line).
  static std::vector<std::filesystem::path> signDocuments(const PenvoraSDKParams& params, ESSParams& essParams);
  // The signature picture as a file, and the record's summary and
  // protected form, for hosts that sign elsewhere.
  static SignatureMetadata exportSignatureMetadata(const PenvoraSDKParams& params, const ESSParams& essParams);

  // fileName in the temporary (private) or the documents folder, with
  // "(1)", "(2)", ... before the extension when taken.
  static std::filesystem::path uniqueOutputURL(bool saveOnPrivateStorage, const std::string& fileName);
  static void applyBuildProperties(securepdf::PDFSign& signer);
  static void applyCustomText(std::int64_t height, const std::vector<PenvoraSDKWidgetCustomText>& texts,
                              securepdf::PDFSign& signer);
  static void applyTimestamp(const PenvoraSDKTSP& tsp, securepdf::PDFSign& signer);
  // Replaces the signed file at outputPath by its long-term-validation
  // version; on failure the signed file stays.
  static void updateLTV(const std::filesystem::path& outputPath, const std::string& tsaURL);
  // 1-bit near-white mask of the picture at width x height.
  static std::optional<util::Bytes> backgroundMask(const std::string& jpgB64, std::int64_t width, std::int64_t height);

  static inline const std::string kBuildProperties =
      std::string(
          "{\n   \"App\":{\n      \"Name\":\"Penvora SDK\",\n      \"REx\":\"6.0.0\",\n      \"R\":6,\n      "
          "\"OS\": [\n         \"") +
      capture::kPlatformName + "\"\n      ]\n   }\n}";
  static inline const std::string kFilterName = std::string("Penvora SDK ") + capture::kPlatformName + " 6.0.0";

  // --- Signing identities ---------------------------------------------
  // A given password unchanged (also ""); absent: the default identity's.
  static std::string certificatePassword(const std::optional<std::string>& password);
  // The default PKCS#12 container, deciphered anew on every call.
  static std::optional<util::Bytes> defaultIdentity();
  // Writes the container to the temporary folder as signcert-<UUID>.p12,
  // readable by the owner only. Throws DomainError("PenvoraSDK", 1,
  // "Error writing temp p12").
  static std::filesystem::path writeTempP12(const util::Bytes& container);
  // Removes our signcert-*.p12 files that a killed process left behind:
  // those older than `minimumAge` that no running signing holds locked
  // (the age covers the moment between writing a file and locking it).
  // Each request calls it first.
  static void removeStaleTempP12Files(std::chrono::seconds minimumAge = std::chrono::seconds(10));
};

// A new random (version 4) UUID in upper-case text form.
std::string newUuidString();

}  // namespace penvora::core::engine
