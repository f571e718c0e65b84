// The signing routine: one signed PDF per input document.
#include <cmath>
#include <limits>

#include "core/engine/BackgroundMask.hpp"
#include "core/engine/DomainError.hpp"
#include "core/engine/ESS.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/engine/LogoImage.hpp"
#include "penvora/Log.hpp"
#include "core/securepdf/PDFForm.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/util/Base64.hpp"
#include "core/util/Hex.hpp"

namespace penvora::core::engine {
namespace fs = std::filesystem;
using securepdf::PDFSign;

namespace {

// Text after the blank in the author name and the reason.
constexpr const char* kSignatureSuffix = "";

std::int32_t truncated(double v) {
  if (!std::isfinite(v)) return 0;
  if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
  if (v <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);  // toward zero
}

template <typename F>
void ignoringFailure(F&& f) {
  try {
    f();
  } catch (const std::exception&) {
  }
}

// Pages of the input, probed the way the signer counts them; at least 1.
// `rotations` gets each page's display rotation on the way.
std::int64_t countPages(const std::string& path, const std::string& password, std::vector<int>& rotations) {
  securepdf::PDFSign probe;
  probe.inputFile = path;
  probe.password = password;
  std::int64_t pages = 0;
  try {
    probe.open();
  } catch (const std::exception& e) {
    log(std::string("Warning: could not open document to inspect pages: ") + e.what());
    return 1;
  }
  for (std::int32_t k = 0;; ++k) {
    try {
      probe.getPageProperty(k, "Height");
      ++pages;
      rotations.push_back(std::stoi(probe.getPageProperty(k, "Rotate")));
    } catch (const std::exception&) {
      break;
    }
  }
  try {
    probe.close();
  } catch (const std::exception& e) {
    log(std::string("Warning: could not open document to inspect pages: ") + e.what());
  }
  return std::max<std::int64_t>(pages, 1);
}

void removeQuietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

}  // namespace

std::vector<fs::path> ESS::signDocuments(const PenvoraSDKParams& params, ESSParams& essParams) {
  std::vector<fs::path> results;
  const auto& files = *params.fileProperties;
  const auto& widget = *params.widget;
  const auto& certificate = *params.certificate;
  if (files.documentUris.empty()) return {};

  for (const std::string& document : files.documentUris) {
    const fs::path u = document;
    securepdf::PDFSign s;
    s.overwrite = true;

    std::optional<util::Bytes> identity;
    if (certificate.signCertP12B64) {
      identity = util::base64Decode(*certificate.signCertP12B64);
      if (!identity) return {};
    } else {
      identity = defaultIdentity();  // logs "CERTIFICATE ERROR" itself
      if (!identity) return {};
    }
    const std::string password = certificatePassword(certificate.signCertPassword);
    fs::path t;
    try {
      t = writeTempP12(*identity);
    } catch (const std::exception& e) {
      log(std::string("Certificate error: ") + e.what());
      return {};
    }
    try {
      s.signingCert = std::make_shared<securepdf::Certificate>(securepdf::CertStoreTypes::cstPFXFile, t.string(),
                                                               password, "*");
    } catch (const std::exception& e) {
      log(std::string("Sign error: ") + e.what());
      removeQuietly(t);
      return {};
    }
    s.inputFile = u.string();
    const fs::path o = uniqueOutputURL(params.commonProperties->saveOnPrivateStorage, u.filename().string());
    s.outputFile = o.string();
    s.password = files.password;
    s.signatureHashAlgorithm = "SHA512";
    s.signatureAuthorName = files.author + " " + kSignatureSuffix;
    s.signatureReason = files.reason + " " + kSignatureSuffix;
    s.signatureWidgetWidth = std::to_string(truncated(essParams.bounds.width));
    s.signatureWidgetHeight = std::to_string(truncated(essParams.bounds.height));

    std::vector<int> rotations;
    const std::int64_t pages = countPages(u.string(), files.password, rotations);
    const std::int64_t pageIndex = std::clamp<std::int64_t>(essParams.page - 1, 0, pages - 1);
    s.signatureWidgetPages = widget.signOnAllPages ? std::string("*") : std::to_string(pageIndex);
    // The bounds are page space; the custom text is laid out in the box as
    // the user sees it, which a page turned a quarter shows on its side.
    const bool sideways = pageIndex < static_cast<std::int64_t>(rotations.size()) &&
                          (rotations[static_cast<std::size_t>(pageIndex)] % 180 != 0);
    const double shownHeight = sideways ? essParams.bounds.width : essParams.bounds.height;

    // A plain pair, not a structured binding: clang 14 (the fuzzing
    // build) cannot capture bindings in a lambda.
    for (const auto& property : {std::pair{"HideDefaultText", "true"}, std::pair{"BackgroundStyle", "Custom"},
                                 std::pair{"BackgroundImageType", "JPEG"},
                                 std::pair{"IgnoreExistingAppearance", "true"}})
      ignoringFailure([&] { s.setWidgetProperty(property.first, property.second); });

    if (!certificate.handwrittenSignature) {
      if (auto logo = logoJpeg(1.0)) essParams.jpgB64 = util::base64Encode(*logo);
    }
    if (auto jpeg = util::base64Decode(essParams.jpgB64)) {
      if (auto size = jpegPixelSize(*jpeg)) {
        ignoringFailure([&] { s.setWidgetProperty("BackgroundImageWidth", std::to_string(size->first)); });
        ignoringFailure([&] { s.setWidgetProperty("BackgroundImageHeight", std::to_string(size->second)); });
        if (auto mask = backgroundMask(essParams.jpgB64, size->first, size->second))
          ignoringFailure([&] { s.setWidgetProperty("BackgroundMask", util::hexEncode(*mask)); });
      }
    }
    if (auto data = util::base64DecodeIgnoringUnknown(essParams.jpgB64))
      ignoringFailure([&] { s.setWidgetProperty("BackgroundData", util::hexEncode(*data)); });

    s.validationPolicy = securepdf::PDFSignValidationPolicies::vpNone;
    s.signatureProfile = securepdf::PDFSignSignatureProfiles::pfBaselineB;
    applyBuildProperties(s);

    if (certificate.handwrittenSignature) {
      std::string record = essParams.pointsB64;
      if (files.documentUris.size() >= 2) record = restampDocumentHash(record, u.string());
      if (!addBioData(record, certificate.encKeyB64, s)) {
        log("BIO DATA ERROR");
        removeQuietly(t);
        return {};
      }
    }

    applyCustomText(truncated(shownHeight), widget.widgetCustomText, s);

    if (widget.widgetType == PenvoraSDKWidgetType::field && widget.widgetFieldFieldname &&
        !widget.widgetFieldFieldname->empty()) {
      const std::string& name = *widget.widgetFieldFieldname;
      try {
        securepdf::PDFForm f;
        f.inputFile = u.string();
        f.password = files.password;
        f.open();
        const std::int32_t index = f.findField(name);
        f.close();
        if (index < 0) {
          log("Warning: field '" + name + "' not found. Using first field.");
          s.signatureFields = 0;
        } else {
          s.signatureFields = index;
        }
      } catch (const std::exception& e) {
        log(std::string("Warning: PDFForm.findField error: ") + e.what() + ". Using first field.");
        s.signatureFields = 0;
      }
    } else if (widget.widgetType == PenvoraSDKWidgetType::field) {
      s.signatureFields = 0;
    } else {
      std::int32_t x = truncated(essParams.bounds.x), y = truncated(essParams.bounds.y);
      if (x == 0 && y == 0) x = 1;  // the pair 0, 0 is never sent
      s.signatureWidgetOffsetX = std::to_string(x);
      s.signatureWidgetOffsetY = std::to_string(y);
    }

    ignoringFailure([&] { s.config("CompressDSS=true"); });
    applyTimestamp(*params.tsp, s);
    if (widget.invisibleSignature) ignoringFailure([&] { s.setWidgetProperty("Invisible", "true"); });

    try {
      s.sign();
    } catch (const std::exception& e) {
      log(std::string("Sign error: ") + e.what());
      removeQuietly(t);
      return {};
    }
    if (certificate.ltv) updateLTV(o, params.tsp->tspURL);
    removeQuietly(t);
    results.push_back(o);
  }
  return results;
}

}  // namespace penvora::core::engine
