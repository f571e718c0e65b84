#include "penvora/JsonDecoding.hpp"

#include <nlohmann/json.hpp>

#include "core/interface/JsonObjectReader.hpp"
#include "core/util/UrlUserinfo.hpp"

namespace penvora {

using nlohmann::json;

DecodingError::DecodingError(Kind kind, std::string codingPath, const std::string& detail)
    : std::runtime_error(std::string(toString(kind)) +
                         (codingPath.empty() ? std::string() : " at \"" + codingPath + "\"") + ": " + detail),
      kind_(kind),
      codingPath_(std::move(codingPath)) {}

std::string DecodingError::key() const {
  auto pos = codingPath_.find_last_of('.');
  std::string last = pos == std::string::npos ? codingPath_ : codingPath_.substr(pos + 1);
  auto bracket = last.find('[');
  return bracket == std::string::npos ? last : last.substr(0, bracket);
}

const char* toString(DecodingError::Kind kind) {
  switch (kind) {
    case DecodingError::Kind::keyNotFound:
      return "keyNotFound";
    case DecodingError::Kind::valueNotFound:
      return "valueNotFound";
    case DecodingError::Kind::typeMismatch:
      return "typeMismatch";
    case DecodingError::Kind::dataCorrupted:
      return "dataCorrupted";
  }
  return "dataCorrupted";
}

// Each decoder reads every key into locals first and builds the object only
// at the end, so a failure never leaves a partial object behind.
namespace {

PenvoraSDKWidgetCustomText decodeCustomText(const json& j, const std::string& path) {
  core::interface::JsonObjectReader r(j, path);
  auto fontSize = r.requiredInt("fontSize");
  auto text = r.requiredString("text");
  return PenvoraSDKWidgetCustomText(fontSize, std::move(text));
}

PenvoraSDKFileProperties decodeFileProperties(const json& j, const std::string& path) {
  core::interface::JsonObjectReader r(j, path);
  PenvoraSDKFileProperties p;
  p.documentPath = r.requiredString("documentPath");
  p.documentUris = r.requiredStringArray("documentUris");
  p.signedName = r.requiredString("signedName");
  p.isShareable = r.requiredBool("isShareable");
  p.password = r.requiredString("password");
  p.author = r.requiredString("author");
  p.reason = r.requiredString("reason");
  p.contact = r.requiredString("contact");
  p.location = r.requiredString("location");
  return p;
}

PenvoraSDKCommonProperties decodeCommonProperties(const json& j, const std::string& path) {
  core::interface::JsonObjectReader r(j, path);
  PenvoraSDKCommonProperties p;
  p.title = r.optionalString("title");
  p.requestLocation = r.requiredBool("requestLocation");
  p.renderDefaultIndexPage = r.optionalInt("renderDefaultIndexPage");
  p.reference = r.requiredString("reference");
  p.saveOnPrivateStorage = r.requiredBool("saveOnPrivateStorage");
  p.recordPenPressure = r.optionalBool("recordPenPressure").value_or(false);
  p.allowConfirmWithoutDrawing = r.optionalBool("allowConfirmWithoutDrawing").value_or(false);
  return p;
}

PenvoraSDKWidget decodeWidget(const json& j, const std::string& path) {
  core::interface::JsonObjectReader r(j, path);
  PenvoraSDKWidget w;
  w.widgetType = widgetTypeFromJsonString(r.requiredString("widgetType"));
  w.widgetFloatText = r.optionalString("widgetFloatText");
  w.widgetFieldFieldname = r.optionalString("widgetFieldFieldname");
  w.widgetManualRatio = r.requiredFloat("widgetManualRatio");
  w.widgetFixedPage = r.optionalInt("widgetFixedPage");
  w.widgetFixedX = r.optionalInt("widgetFixedX");
  w.widgetFixedY = r.optionalInt("widgetFixedY");
  w.widgetFloatGapY = r.optionalInt("widgetFloatGapY");
  w.widgetFloatGapX = r.optionalInt("widgetFloatGapX");
  const auto& texts = r.requiredArray("widgetCustomText");
  w.widgetCustomText.clear();
  w.widgetCustomText.reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string at = r.childPath("widgetCustomText") + "[" + std::to_string(i) + "]";
    w.widgetCustomText.push_back(decodeCustomText(core::interface::element(texts, i, at, "Dictionary"), at));
  }
  w.widgetCustomTextB64 = r.optionalString("widgetCustomTextB64");
  w.requestWidgetCustomText = r.requiredBool("requestWidgetCustomText");
  w.widgetWidth = r.requiredInt("widgetWidth");
  w.widgetHeight = r.requiredInt("widgetHeight");
  w.flexible = r.optionalBool("flexible");
  w.signOnAllPages = r.requiredBool("signOnAllPages");
  w.invisibleSignature = r.requiredBool("invisibleSignature");
  return w;
}

PenvoraSDKTSP decodeTsp(const json& j, const std::string& path) {
  core::interface::JsonObjectReader r(j, path);
  PenvoraSDKTSP t;
  t.tspActivate = r.requiredBool("tspActivate");
  t.tspURL = r.requiredString("tspURL");
  t.tspUser = r.optionalString("tspUser");
  t.tspPassword = r.optionalString("tspPassword");
  return t;
}

PenvoraSDKExtra decodeExtra(const json& j, const std::string& path) {
  core::interface::JsonObjectReader r(j, path);
  PenvoraSDKExtra e;
  e.autoOpen = r.requiredBool("autoOpen");
  e.viewLastPage = r.requiredBool("viewLastPage");
  e.showReject = r.requiredBool("showReject");
  e.signatureColorHex = r.requiredString("signatureColorHex");
  e.signatureThickness = r.requiredInt("signatureThickness");
  e.fullScreen = r.optionalBool("fullScreen");
  e.signatureMetadataMode = r.requiredBool("signatureMetadataMode");
  return e;
}

PenvoraSDKCertificate decodeCertificate(const json& j, const std::string& path) {
  core::interface::JsonObjectReader r(j, path);
  PenvoraSDKCertificate c;
  c.signCertP12B64 = r.optionalString("signCertP12B64");
  c.signCertPassword = r.optionalString("signCertPassword");
  c.requestUserCertificate = r.requiredBool("requestUserCertificate");
  c.defaultAliasUserCertificate = r.optionalString("defaultAliasUserCertificate");
  c.encKeyB64 = r.optionalString("encKeyB64");
  c.ltv = r.requiredBool("ltv");
  c.handwrittenSignature = r.requiredBool("handwrittenSignature");
  return c;
}

PenvoraSDKParams decodeParams(const json& j) {
  core::interface::JsonObjectReader r(j, "");
  auto fileProperties = decodeFileProperties(r.requiredObject("fileProperties"), "fileProperties");
  auto commonProperties = decodeCommonProperties(r.requiredObject("commonProperties"), "commonProperties");
  auto widget = decodeWidget(r.requiredObject("widget"), "widget");
  auto tsp = decodeTsp(r.requiredObject("tsp"), "tsp");
  auto extra = decodeExtra(r.requiredObject("extra"), "extra");
  auto certificate = decodeCertificate(r.requiredObject("certificate"), "certificate");
  PenvoraSDKParams p;
  p.fileProperties = std::make_shared<PenvoraSDKFileProperties>(std::move(fileProperties));
  p.commonProperties = std::make_shared<PenvoraSDKCommonProperties>(std::move(commonProperties));
  p.widget = std::make_shared<PenvoraSDKWidget>(std::move(widget));
  p.tsp = std::make_shared<PenvoraSDKTSP>(std::move(tsp));
  p.extra = std::make_shared<PenvoraSDKExtra>(std::move(extra));
  p.certificate = std::make_shared<PenvoraSDKCertificate>(std::move(certificate));
  return p;
}

// Far deeper than any real request (whose unknown keys may nest as the
// host likes), well within what the parser and the decoding handle.
constexpr std::size_t kMaxDepth = 1000;

// Whether arrays and objects nest deeper than `limit`, counted outside
// strings. A scan of its own, because nlohmann's parse callback searches the
// parent after every value and makes long arrays cost quadratic time.
bool nestsDeeperThan(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false, escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

// "line L, column C: what went wrong" from the parser's message, without
// the text it last read (which may be part of a password).
std::string syntaxErrorPlace(const std::string& message) {
  const auto at = message.find("line ");
  if (at == std::string::npos) return {};
  std::string place = message.substr(at);
  if (const auto read = place.find("; last read"); read != std::string::npos) place.erase(read);
  return place;
}

json parse(std::string_view text) {
  if (nestsDeeperThan(text, kMaxDepth))
    throw DecodingError(DecodingError::Kind::dataCorrupted, "", "The given data nests too deeply.");
  try {
    return json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    const std::string place = syntaxErrorPlace(e.what());
    throw DecodingError(DecodingError::Kind::dataCorrupted, "",
                        "The given data was not valid JSON." + (place.empty() ? "" : " At " + place + "."));
  }
}

template <typename F>
auto decodeText(std::string_view text, F decode) {
  json j = parse(text);
  return decode(j, std::string());
}

}  // namespace

template <>
PenvoraSDKParams decodeJson<PenvoraSDKParams>(std::string_view text) {
  return decodeParams(parse(text));
}
template <>
PenvoraSDKFileProperties decodeJson<PenvoraSDKFileProperties>(std::string_view text) {
  return decodeText(text, decodeFileProperties);
}
template <>
PenvoraSDKCommonProperties decodeJson<PenvoraSDKCommonProperties>(std::string_view text) {
  return decodeText(text, decodeCommonProperties);
}
template <>
PenvoraSDKWidget decodeJson<PenvoraSDKWidget>(std::string_view text) {
  return decodeText(text, decodeWidget);
}
template <>
PenvoraSDKWidgetCustomText decodeJson<PenvoraSDKWidgetCustomText>(std::string_view text) {
  return decodeText(text, decodeCustomText);
}
template <>
PenvoraSDKTSP decodeJson<PenvoraSDKTSP>(std::string_view text) {
  return decodeText(text, decodeTsp);
}
template <>
PenvoraSDKExtra decodeJson<PenvoraSDKExtra>(std::string_view text) {
  return decodeText(text, decodeExtra);
}
template <>
PenvoraSDKCertificate decodeJson<PenvoraSDKCertificate>(std::string_view text) {
  return decodeText(text, decodeCertificate);
}

using ojson = nlohmann::ordered_json;

namespace {
template <typename T>
ojson opt(const std::optional<T>& v) {
  return v ? ojson(*v) : ojson(nullptr);
}
}  // namespace

std::string redactedJson(const PenvoraSDKParams& p, int indent) {
  const auto& f = *p.fileProperties;
  const auto& c = *p.commonProperties;
  const auto& w = *p.widget;
  const auto& t = *p.tsp;
  const auto& e = *p.extra;
  const auto& k = *p.certificate;
  ojson texts = ojson::array();
  for (const auto& ct : w.widgetCustomText) texts.push_back({{"fontSize", ct.fontSize}, {"text", ct.text}});
  ojson j = {
      {"fileProperties",
       {{"documentPath", f.documentPath},
        {"documentUris", f.documentUris},
        {"signedName", f.signedName},
        {"isShareable", f.isShareable},
        {"password", f.password.empty() ? ojson("") : ojson("***")},
        {"author", f.author},
        {"reason", f.reason},
        {"contact", f.contact},
        {"location", f.location}}},
      {"commonProperties",
       {{"title", opt(c.title)},
        {"requestLocation", c.requestLocation},
        {"renderDefaultIndexPage", opt(c.renderDefaultIndexPage)},
        {"reference", c.reference},
        {"saveOnPrivateStorage", c.saveOnPrivateStorage},
        {"recordPenPressure", c.recordPenPressure},
        {"allowConfirmWithoutDrawing", c.allowConfirmWithoutDrawing}}},
      {"widget",
       {{"widgetType", std::string(widgetTypeJsonString(w.widgetType))},
        {"widgetFloatText", opt(w.widgetFloatText)},
        {"widgetFieldFieldname", opt(w.widgetFieldFieldname)},
        {"widgetManualRatio", w.widgetManualRatio},
        {"widgetFixedPage", opt(w.widgetFixedPage)},
        {"widgetFixedX", opt(w.widgetFixedX)},
        {"widgetFixedY", opt(w.widgetFixedY)},
        {"widgetFloatGapY", opt(w.widgetFloatGapY)},
        {"widgetFloatGapX", opt(w.widgetFloatGapX)},
        {"widgetCustomText", texts},
        {"widgetCustomTextB64", opt(w.widgetCustomTextB64)},
        {"requestWidgetCustomText", w.requestWidgetCustomText},
        {"widgetWidth", w.widgetWidth},
        {"widgetHeight", w.widgetHeight},
        {"flexible", opt(w.flexible)},
        {"signOnAllPages", w.signOnAllPages},
        {"invisibleSignature", w.invisibleSignature}}},
      {"tsp",
       {{"tspActivate", t.tspActivate},
        {"tspURL", core::util::withoutUserinfo(t.tspURL)},
        {"tspUser", opt(t.tspUser)},
        {"tspPassword", t.tspPassword ? ojson("***") : ojson(nullptr)}}},
      {"extra",
       {{"autoOpen", e.autoOpen},
        {"viewLastPage", e.viewLastPage},
        {"showReject", e.showReject},
        {"signatureColorHex", e.signatureColorHex},
        {"signatureThickness", e.signatureThickness},
        {"fullScreen", opt(e.fullScreen)},
        {"signatureMetadataMode", e.signatureMetadataMode}}},
      {"certificate",
       {{"signCertP12B64", k.signCertP12B64
                               ? ojson("<" + std::to_string(k.signCertP12B64->size()) + " base64 characters>")
                               : ojson(nullptr)},
        {"signCertPassword", k.signCertPassword ? ojson("***") : ojson(nullptr)},
        {"requestUserCertificate", k.requestUserCertificate},
        {"defaultAliasUserCertificate", opt(k.defaultAliasUserCertificate)},
        {"encKeyB64",
         k.encKeyB64 ? ojson("<" + std::to_string(k.encKeyB64->size()) + " base64 characters>") : ojson(nullptr)},
        {"ltv", k.ltv},
        {"handwrittenSignature", k.handwrittenSignature}}},
  };
  // Text a host put in by hand need not be UTF-8: shown replaced, not thrown.
  return j.dump(indent, ' ', false, ojson::error_handler_t::replace);
}

}  // namespace penvora
