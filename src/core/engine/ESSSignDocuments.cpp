// The signing routine: one signed PDF per input document.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/engine/BackgroundMask.hpp"
#include "core/engine/DomainError.hpp"
#include "core/engine/ESS.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/engine/LogoImage.hpp"
#include "core/engine/TemporaryKeyFile.hpp"
#include "core/securepdf/PDFForm.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/util/Base64.hpp"
#include "core/util/Hex.hpp"
#include "core/util/SaturatingMath.hpp"
#include "penvora/Log.hpp"

namespace penvora::core::engine {
namespace fs = std::filesystem;
using securepdf::PDFSign;

namespace {

// Text after the blank in the author name and the reason.
constexpr const char* kSignatureSuffix = "";

std::int32_t truncated(double v) {
  if (!std::isfinite(v)) return 0;
  if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (v <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);  // toward zero
}

template <typename F>
void ignoringFailure(F&& f) {
  try {
    f();
  } catch (const std::exception&) {
  }
}

// The page the box goes on: the wanted index held within the document,
// and whether that page is turned a quarter. Only the way down the page
// tree to it is read, so a long document costs no more than a short one.
struct TargetPage {
  std::int64_t index = 0;
  bool sideways = false;
};

// The signer itself opens the document, and its sign() writes from that
// same opening: one parse per document.
TargetPage targetPage(PDFSign& s, std::int64_t wanted) {
  TargetPage target;
  try {
    // Which page the opening should have at hand; the box's page is set
    // once it is known to be there.
    s.signatureWidgetPages = std::to_string(std::max<std::int64_t>(wanted, 0));
    s.open();
  } catch (const std::exception& e) {
    log(std::string("Warning: could not open document to inspect pages: ") + e.what());
    return target;
  }
  try {
    // Counting the pages of a flat tree reads every page (a node among the
    // kids would shift the indexes after it): only a page that is not there
    // needs the count.
    std::int64_t index = std::max<std::int64_t>(wanted, 0);
    if (index > std::numeric_limits<std::int32_t>::max() || !s.hasPage(static_cast<std::int32_t>(index)))
      index = std::clamp<std::int64_t>(wanted, 0, std::max<std::int64_t>(s.pageCount(), 1) - 1);
    target.index = index;
    target.sideways = std::stoi(s.getPageProperty(static_cast<std::int32_t>(target.index), "Rotate")) % 180 != 0;
  } catch (const std::exception&) {
    // A page without a box or a rotation: upright, as the signer takes it.
  }
  return target;
}

// 1. The identity: the host's PKCS#12 or the default one.
std::optional<util::Bytes> signingIdentity(const PenvoraSDKCertificate& certificate) {
  if (certificate.signCertP12B64) return util::base64Decode(*certificate.signCertP12B64);
  return ESS::defaultIdentity();  // logs "CERTIFICATE ERROR" itself
}

// 2. The identity as a temporary key file and the signer's certificate
// read from it.
std::optional<TemporaryKeyFile> keyFileFor(const util::Bytes& identity) {
  try {
    return std::optional<TemporaryKeyFile>(std::in_place, ESS::writeTempP12(identity));
  } catch (const std::exception& e) {
    log(std::string("Certificate error: ") + e.what());
    return std::nullopt;
  }
}

bool loadCertificate(PDFSign& s, const TemporaryKeyFile& key, const std::string& password) {
  try {
    s.signingCert = std::make_shared<securepdf::Certificate>(securepdf::CertStoreTypes::cstPFXFile, key.path().string(),
                                                             password, "*");
    return true;
  } catch (const std::exception& e) {
    log(std::string("Sign error: ") + e.what());
    return false;
  }
}

// 3. Input, output and the texts of the signature dictionary.
fs::path describeDocument(PDFSign& s, const PenvoraSDKParams& params, const ESSParams& essParams,
                          const fs::path& input) {
  const auto& files = *params.fileProperties;
  // The name is free now; another signing that takes it meanwhile keeps
  // its file (this one then fails) rather than being overwritten.
  s.overwrite = false;
  s.inputFile = input.string();
  fs::path output = ESS::uniqueOutputURL(params.commonProperties->saveOnPrivateStorage, input.filename().string());
  s.outputFile = output.string();
  s.password = files.password;
  s.signatureHashAlgorithm = "SHA512";
  s.signatureAuthorName = files.author + " " + kSignatureSuffix;
  s.signatureReason = files.reason + " " + kSignatureSuffix;
  s.signatureWidgetWidth = std::to_string(truncated(essParams.bounds.width));
  s.signatureWidgetHeight = std::to_string(truncated(essParams.bounds.height));
  return output;
}

// 4. The page (every page when asked), and the box's height as the user
// sees it: the bounds are page space, and a page turned a quarter shows
// the box on its side.
double choosePage(PDFSign& s, const PenvoraSDKParams& params, const ESSParams& essParams) {
  const TargetPage target = targetPage(s, util::subtractSaturated(essParams.page, 1));
  s.signatureWidgetPages = params.widget->signOnAllPages ? std::string("*") : std::to_string(target.index);
  return target.sideways ? essParams.bounds.width : essParams.bounds.height;
}

// 5. The widget's look: the picture (the logo without a handwritten
// signature), its size and near-white mask.
void applyPicture(PDFSign& s, const PenvoraSDKCertificate& certificate, ESSParams& essParams) {
  // A plain pair, not a structured binding: clang 14 (the fuzzing
  // build) cannot capture bindings in a lambda.
  for (const auto& property : {std::pair{"HideDefaultText", "true"}, std::pair{"BackgroundStyle", "Custom"},
                               std::pair{"BackgroundImageType", "JPEG"}, std::pair{"IgnoreExistingAppearance", "true"}})
    ignoringFailure([&] { s.setWidgetProperty(property.first, property.second); });

  if (!certificate.handwrittenSignature) {
    if (auto logo = logoJpeg(1.0)) essParams.jpgB64 = util::base64Encode(*logo);
  }
  if (auto jpeg = util::base64Decode(essParams.jpgB64)) {
    if (auto size = jpegPixelSize(*jpeg)) {
      ignoringFailure([&] { s.setWidgetProperty("BackgroundImageWidth", std::to_string(size->first)); });
      ignoringFailure([&] { s.setWidgetProperty("BackgroundImageHeight", std::to_string(size->second)); });
      if (auto mask = ESS::backgroundMask(essParams.jpgB64, size->first, size->second))
        ignoringFailure([&] { s.setWidgetProperty("BackgroundMask", ESS::hexUpper(*mask)); });
    }
  }
  if (auto data = util::base64DecodeIgnoringUnknown(essParams.jpgB64))
    ignoringFailure([&] { s.setWidgetProperty("BackgroundData", ESS::hexUpper(*data)); });
}

// 7. The biometric record as two signed attributes; with several
// documents each record carries its own document's digest.
bool applyBiometrics(PDFSign& s, const PenvoraSDKParams& params, const ESSParams& essParams, const fs::path& input) {
  const auto& certificate = *params.certificate;
  if (!certificate.handwrittenSignature) return true;
  std::string record = essParams.pointsB64;
  if (params.fileProperties->documentUris.size() >= 2) record = ESS::restampDocumentHash(record, input.string());
  if (ESS::addBioData(record, certificate.encKeyB64, s)) return true;
  log("BIO DATA ERROR");
  return false;
}

// 9. Where: the form field by name (the first one when it is not found),
// or the box's whole-point position.
void applyPosition(PDFSign& s, const PenvoraSDKParams& params, const ESSParams& essParams, const fs::path& input) {
  const auto& widget = *params.widget;
  if (widget.widgetType != PenvoraSDKWidgetType::field) {
    std::int32_t x = truncated(essParams.bounds.x), y = truncated(essParams.bounds.y);
    if (x == 0 && y == 0) x = 1;  // the pair 0, 0 is never sent
    s.signatureWidgetOffsetX = std::to_string(x);
    s.signatureWidgetOffsetY = std::to_string(y);
    return;
  }
  s.signatureFields = 0;
  if (!widget.widgetFieldFieldname || widget.widgetFieldFieldname->empty()) return;
  const std::string& name = *widget.widgetFieldFieldname;
  try {
    // The signer's own opening when it has one, else the form's.
    std::int32_t index = -1;
    if (s.isOpen()) {
      index = s.findField(name);
    } else {
      securepdf::PDFForm f;
      f.inputFile = input.string();
      f.password = params.fileProperties->password;
      f.open();
      index = f.findField(name);
      f.close();
    }
    if (index < 0)
      log("Warning: field '" + name + "' not found. Using first field.");
    else
      s.signatureFields = index;
  } catch (const std::exception& e) {
    log(std::string("Warning: PDFForm.findField error: ") + e.what() + ". Using first field.");
  }
}

// One document through every step; nothing after one log line when a
// step fails. The key file is gone on every path out.
std::optional<fs::path> signDocument(const PenvoraSDKParams& params, ESSParams& essParams, const fs::path& input) {
  const auto& certificate = *params.certificate;
  const auto identity = signingIdentity(certificate);
  if (!identity) return std::nullopt;
  const std::string password = ESS::certificatePassword(certificate.signCertPassword);
  const auto key = keyFileFor(*identity);
  if (!key) return std::nullopt;
  PDFSign s;
  if (!loadCertificate(s, *key, password)) return std::nullopt;

  fs::path output = describeDocument(s, params, essParams, input);
  const double shownHeight = choosePage(s, params, essParams);
  applyPicture(s, certificate, essParams);
  // 6. Profile B by default, and who built the signature.
  s.validationPolicy = securepdf::PDFSignValidationPolicies::vpNone;
  s.signatureProfile = securepdf::PDFSignSignatureProfiles::pfBaselineB;
  ESS::applyBuildProperties(s);
  if (!applyBiometrics(s, params, essParams, input)) return std::nullopt;
  // 8. The host's text lines inside the box.
  ESS::applyCustomText(truncated(shownHeight), params.widget->widgetCustomText, s);
  applyPosition(s, params, essParams, input);
  // 10. Time-stamp (profile T), compact validation data, invisibility.
  ignoringFailure([&] { s.config("CompressDSS=true"); });
  ESS::applyTimestamp(*params.tsp, s);
  if (params.widget->invisibleSignature) ignoringFailure([&] { s.setWidgetProperty("Invisible", "true"); });

  // 11. Sign; then, when asked, the long-term validation data.
  try {
    s.sign();
  } catch (const std::exception& e) {
    log(std::string("Sign error: ") + e.what());
    return std::nullopt;
  }
  if (certificate.ltv) ESS::updateLTV(output, params.tsp->tspURL);
  return output;
}

}  // namespace

std::vector<fs::path> ESS::signDocuments(const PenvoraSDKParams& params, ESSParams& essParams) {
  const auto& documents = params.fileProperties->documentUris;
  if (documents.empty()) return {};
  // Key files a killed signing left behind; those still in use are locked.
  ESS::removeStaleTempP12Files();
  std::vector<fs::path> results;
  // The steps report their own failures; anything else thrown (no
  // temporary folder, no memory) must still end as the empty list, not
  // escape into the screen's event loop.
  try {
    for (const std::string& document : documents) {
      auto signedFile = signDocument(params, essParams, document);
      if (!signedFile) return {};
      results.push_back(std::move(*signedFile));
    }
  } catch (const std::exception& e) {
    log(std::string("Sign error: ") + e.what());
    return {};
  }
  return results;
}

}  // namespace penvora::core::engine
