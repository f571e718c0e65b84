#include "core/securepdf/SigningPlan.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/securepdf/CmsSignature.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/util/Hex.hpp"

namespace penvora::core::securepdf {
std::string hexToBytes(const std::string& hex, const char* what) {
  auto bytes = util::hexDecode(hex);
  if (!bytes) throw SecurePdfError(std::string(what) + " is not hexadecimal");
  return std::move(*bytes);
}

namespace {

std::string readableDate(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y.%m.%d %H:%M:%S %z", &local);
  return buf;
}

// The appearance settings ("BackgroundData", "CustomText[0]", ...).
WidgetLook lookFrom(const PDFSign& signer, std::time_t now) {
  auto prop = [&](const std::string& k) { return signer.widgetProperty(k); };
  auto optionalNumber = [&](const std::string& k, const char* what, double fallback) {
    return prop(k).empty() ? fallback : settingNumber(prop(k), what);
  };
  WidgetLook look;
  if (!prop("BackgroundData").empty()) look.backgroundJpeg = hexToBytes(prop("BackgroundData"), "BackgroundData");
  if (!prop("BackgroundMask").empty()) look.mask = hexToBytes(prop("BackgroundMask"), "BackgroundMask");
  if (!prop("BackgroundImageWidth").empty())
    look.imageWidth = static_cast<int>(settingNumber(prop("BackgroundImageWidth"), "BackgroundImageWidth"));
  if (!prop("BackgroundImageHeight").empty())
    look.imageHeight = static_cast<int>(settingNumber(prop("BackgroundImageHeight"), "BackgroundImageHeight"));
  look.hideDefaultText = prop("HideDefaultText") == "true";
  const int count = static_cast<int>(optionalNumber("CustomTextCount", "CustomTextCount", 0));
  for (int i = 0; i < count && i < 1000; ++i) {
    const std::string n = "[" + std::to_string(i) + "]";
    WidgetLook::Line line;
    line.text = prop("CustomText" + n);
    line.x = optionalNumber("CustomTextX" + n, "CustomTextX", line.x);
    line.y = optionalNumber("CustomTextY" + n, "CustomTextY", line.y);
    line.fontSizeY = optionalNumber("CustomTextFontSizeY" + n, "CustomTextFontSizeY", line.fontSizeY);
    line.fontSizeX = optionalNumber("CustomTextFontSizeX" + n, "CustomTextFontSizeX", line.fontSizeY);
    look.lines.push_back(line);
  }
  look.defaultSigner = signer.signingCert->commonName();
  look.defaultDate = readableDate(now);
  return look;
}

FieldTarget targetFrom(const PDFSign& signer, bool invisible) {
  FieldTarget t;
  if (signer.signatureFields) {
    t.existingField = signer.signatureFields;
    return t;
  }
  t.pageText = signer.signatureWidgetPages;
  if (signer.signatureWidgetPages == "*") {
    t.everyPage = true;
  } else {
    const double v = settingNumber(signer.signatureWidgetPages, "signatureWidgetPages");
    if (v < 0 || std::trunc(v) != v || v > 1e9) throw SecurePdfError("No page with index " + t.pageText);
    t.pageIndex = static_cast<std::size_t>(v);
  }
  t.x = settingNumber(signer.signatureWidgetOffsetX, "signatureWidgetOffsetX");
  t.y = settingNumber(signer.signatureWidgetOffsetY, "signatureWidgetOffsetY");
  if (!invisible) {
    t.width = settingNumber(signer.signatureWidgetWidth, "signatureWidgetWidth");
    t.height = settingNumber(signer.signatureWidgetHeight, "signatureWidgetHeight");
    if (t.width <= 0 || t.height <= 0) throw SecurePdfError("The signature widget needs a width and a height");
  }
  return t;
}

}  // namespace

double settingNumber(const std::string& text, const char* what) {
  double v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v))
    throw SecurePdfError(std::string("Not a number for ") + what + ": '" + text + "'");
  return v;
}

std::string pdfDate(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "D:%Y%m%d%H%M%S", &local);
  long off = local.tm_gmtoff;
  char zone[32];
  if (off == 0) {
    std::snprintf(zone, sizeof zone, "Z");
  } else {
    std::snprintf(zone, sizeof zone, "%c%02ld'%02ld'", off < 0 ? '-' : '+', std::labs(off) / 3600,
                  (std::labs(off) % 3600) / 60);
  }
  return std::string(buf) + zone;
}

SigningPlan planSigning(const PDFSign& signer, std::time_t now) {
  if (!signer.signingCert) throw SecurePdfError("No signing certificate set");
  if (signer.outputFile.empty()) throw SecurePdfError("No output file given");
  SigningPlan plan;
  plan.identity = signer.signingCert.get();
  plan.digest = digestNamed(signer.signatureHashAlgorithm);
  plan.timestamp = signer.signatureProfile == PDFSignSignatureProfiles::pfBaselineT;
  if (plan.timestamp && signer.timestampServer.empty())
    throw SecurePdfError("Profile T needs a time-stamp server address");
  plan.signingTime = now;
  plan.look = lookFrom(signer, now);
  plan.invisible = signer.widgetProperty("Invisible") == "true";
  plan.replaceExistingAppearance = signer.widgetProperty("IgnoreExistingAppearance") != "false";
  plan.target = targetFrom(signer, plan.invisible);
  return plan;
}

}  // namespace penvora::core::securepdf
