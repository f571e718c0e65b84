// The helpers of the signing routine: output naming, build properties,
// custom text, time-stamp settings, the LTV update, the widget mask and
// the metadata export.
#include <ctime>
#include <fstream>

#include "core/engine/BackgroundMask.hpp"
#include "core/engine/DocumentsFolder.hpp"
#include "core/engine/ESS.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/securepdf/PDFSign.hpp"
#include "core/util/Base64.hpp"
#include "core/util/SaturatingMath.hpp"
#include "core/util/UrlUserinfo.hpp"
#include "penvora/Log.hpp"

namespace penvora::core::engine {
namespace fs = std::filesystem;

namespace {

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

// ISO 8601 with seconds: "2026-12-06T09:33:46Z" in UTC, else "+01:00".
std::string iso8601(std::time_t t, bool utc) {
  std::tm tm{};
  if (utc)
    gmtime_r(&t, &tm);
  else
    localtime_r(&t, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  std::string s = buf;
  const long off = utc ? 0 : tm.tm_gmtoff;
  if (off == 0) return s + "Z";
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", off < 0 ? '-' : '+', std::labs(off) / 3600,
                (std::labs(off) % 3600) / 60);
  return s + zone;
}

template <typename F>
void ignoringFailure(F&& f) {
  try {
    f();
  } catch (const std::exception&) {
  }
}

// `fileName` in `folder`, or, when taken, the first of "stem(1).ext",
// "stem(2).ext", ... that is not.
fs::path freeNameIn(const fs::path& folder, const std::string& fileName) {
  fs::path candidate = folder / fileName;
  std::error_code ec;
  if (!fs::exists(candidate, ec)) return candidate;
  const fs::path name(fileName);
  const std::string stem = name.stem().string();
  std::string ext = name.extension().string();  // with its dot
  if (!ext.empty()) ext.erase(0, 1);
  for (int n = 1;; ++n) {
    candidate = folder / (stem + "(" + std::to_string(n) + ")." + ext);
    if (!fs::exists(candidate, ec)) return candidate;
  }
}

}  // namespace

fs::path ESS::uniqueOutputURL(bool saveOnPrivateStorage, const std::string& fileName) {
  return freeNameIn(saveOnPrivateStorage ? fs::temp_directory_path() : documentsFolder(), fileName);
}

void ESS::applyBuildProperties(securepdf::PDFSign& signer) {
  ignoringFailure([&] { signer.config(std::string("BuildProperties=") + kBuildProperties); });
  ignoringFailure([&] { signer.config(std::string("FilterName=") + kFilterName); });
}

void ESS::applyCustomText(std::int64_t height, const std::vector<PenvoraSDKWidgetCustomText>& texts,
                          securepdf::PDFSign& signer) {
  if (texts.empty()) return;
  const std::time_t now = std::time(nullptr);
  const std::string utc = iso8601(now, true), local = iso8601(now, false);
  ignoringFailure([&] { signer.setWidgetProperty("HideDefaultText", "true"); });
  ignoringFailure([&] { signer.setWidgetProperty("CustomTextCount", std::to_string(texts.size())); });
  const std::string subject = signer.signingCert ? signer.signingCert->subject() : std::string();
  std::int64_t y = height;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string t = replaceAll(texts[i].text, "##COMMON_CERT_NAME##", subject);
    t = replaceAll(t, "##TIMESTAMP##", utc);
    t = replaceAll(t, "##TIMESTAMPLOCAL##", local);
    y = util::subtractSaturated(y, texts[i].fontSize);
    const std::string n = "[" + std::to_string(i) + "]";
    const std::string size = std::to_string(texts[i].fontSize);
    ignoringFailure([&] { signer.setWidgetProperty("CustomText" + n, t); });
    ignoringFailure([&] { signer.setWidgetProperty("CustomTextX" + n, "1"); });
    ignoringFailure([&] { signer.setWidgetProperty("CustomTextY" + n, std::to_string(y)); });
    ignoringFailure([&] { signer.setWidgetProperty("CustomTextFontSizeX" + n, size); });
    ignoringFailure([&] { signer.setWidgetProperty("CustomTextFontSizeY" + n, size); });
  }
}

void ESS::applyTimestamp(const PenvoraSDKTSP& tsp, securepdf::PDFSign& signer) {
  if (!tsp.tspActivate) return;
  std::string url = tsp.tspURL;
  if (tsp.tspUser && tsp.tspPassword && !tsp.tspUser->empty()) {
    // Escaped where they would end early, so a "/" or "@" in a password
    // neither breaks the address nor leaves the password in it.
    const std::string credentials =
        util::userinfoEscaped(*tsp.tspUser, true) + ":" + util::userinfoEscaped(*tsp.tspPassword, false) + "@";
    const auto at = url.find("://");
    if (at != std::string::npos) url.insert(at + 3, credentials);
  }
  signer.timestampServer = url;
  signer.signatureProfile = securepdf::PDFSignSignatureProfiles::pfBaselineT;
}

void ESS::updateLTV(const fs::path& outputPath, const std::string& tsaURL) {
  // A file of the user's may have that name already: the update must not
  // replace it, nor delete it when it fails. The next free name then.
  const fs::path ltv =
      freeNameIn(outputPath.parent_path(),
                 outputPath.stem().string() + "_ltv." +
                     (outputPath.has_extension() ? outputPath.extension().string().substr(1) : std::string()));
  bool signedRemoved = false;
  try {
    securepdf::PDFSign v;
    v.reset();
    v.overwrite = true;
    v.inputFile = outputPath.string();
    v.outputFile = ltv.string();
    v.timestampServer = tsaURL;
    v.validationPolicy = securepdf::PDFSignValidationPolicies::vpFullNoTrust;
    // The validation data is compressed as the signer was told to.
    ignoringFailure([&] { v.config("CompressDSS=true"); });
    v.update();
    fs::remove(outputPath);
    signedRemoved = true;
    fs::rename(ltv, outputPath);
  } catch (const std::exception& e) {
    log(std::string("LTV update error: ") + e.what());
    std::error_code ec;
    if (signedRemoved) {
      // The LTV file is now the only signed copy: put it at the output
      // path by copying, and keep it where it is if even that fails.
      if (fs::copy_file(ltv, outputPath, fs::copy_options::overwrite_existing, ec)) fs::remove(ltv, ec);
      return;
    }
    fs::remove(ltv, ec);
  }
}

std::optional<util::Bytes> ESS::backgroundMask(const std::string& jpgB64, std::int64_t width, std::int64_t height) {
  if (width < 1 || height < 1 || width > (1 << 20) || height > (1 << 20)) return std::nullopt;
  auto jpeg = util::base64Decode(jpgB64);
  if (!jpeg) return std::nullopt;
  return nearWhiteMask(*jpeg, static_cast<int>(width), static_cast<int>(height));
}

SignatureMetadata ESS::exportSignatureMetadata(const PenvoraSDKParams& params, const ESSParams& essParams) {
  SignatureMetadata out;
  auto jpeg = util::base64Decode(essParams.jpgB64);
  if (!jpeg) return out;
  try {
    const fs::path file = documentsFolder() / (newUuidString() + ".jpg");
    {
      std::ofstream f(file, std::ios::binary);
      f.write(reinterpret_cast<const char*>(jpeg->data()), static_cast<std::streamsize>(jpeg->size()));
    }  // a failed write still reports the address
    out.imageFile = file;
    out.summary = recordSummary(essParams.pointsB64);
    out.protectedRecord = protectRecord(essParams.pointsB64, params.certificate->encKeyB64);
  } catch (const std::exception& e) {
    // Incomplete values make the caller report an error.
    log(std::string("Metadata error: ") + e.what());
    out.protectedRecord.reset();
  }
  return out;
}

}  // namespace penvora::core::engine
