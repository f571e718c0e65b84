#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "penvora/JsonDecoding.hpp"

using namespace penvora;
using nlohmann::json;
using Kind = DecodingError::Kind;

namespace {

json validRequest() {
  return json::parse(R"({
    "fileProperties": {"documentPath": "/tmp/a.pdf", "documentUris": ["file:///b.pdf"], "signedName": "out.pdf",
      "isShareable": false, "password": "pw", "author": "A", "reason": "R", "contact": "C", "location": "L"},
    "commonProperties": {"title": "T", "requestLocation": true, "renderDefaultIndexPage": 2, "reference": "ref",
      "saveOnPrivateStorage": true},
    "widget": {"widgetType": "Fixed", "widgetManualRatio": 2.5, "widgetFixedPage": 3, "widgetFixedX": 10,
      "widgetFixedY": 20, "widgetCustomText": [{"fontSize": 9, "text": "hello"}], "requestWidgetCustomText": true,
      "widgetWidth": 200, "widgetHeight": 80, "signOnAllPages": true, "invisibleSignature": false},
    "tsp": {"tspActivate": true, "tspURL": "http://127.0.0.1/tsa"},
    "extra": {"autoOpen": true, "viewLastPage": true, "showReject": true, "signatureColorHex": "#FF0000",
      "signatureThickness": 4, "signatureMetadataMode": true},
    "certificate": {"requestUserCertificate": true, "ltv": true, "handwrittenSignature": false}
  })");
}

// One member object of the request ("" for the whole request), decoded as
// its own type.
json section(const std::string& name) {
  if (name.empty()) return validRequest();
  if (name == "customText") return validRequest()["widget"]["widgetCustomText"][0];
  return validRequest()[name];
}

void decodeAs(const std::string& name, const std::string& text) {
  const std::map<std::string, std::function<void()>> decoders = {
      {"", [&] { decodeJson<PenvoraSDKParams>(text); }},
      {"fileProperties", [&] { decodeJson<PenvoraSDKFileProperties>(text); }},
      {"commonProperties", [&] { decodeJson<PenvoraSDKCommonProperties>(text); }},
      {"widget", [&] { decodeJson<PenvoraSDKWidget>(text); }},
      {"customText", [&] { decodeJson<PenvoraSDKWidgetCustomText>(text); }},
      {"tsp", [&] { decodeJson<PenvoraSDKTSP>(text); }},
      {"extra", [&] { decodeJson<PenvoraSDKExtra>(text); }},
      {"certificate", [&] { decodeJson<PenvoraSDKCertificate>(text); }}};
  decoders.at(name)();
}

// Decodes `text` and expects failure; returns the error for further checks.
DecodingError decodeFails(const std::string& name, const std::string& text) {
  try {
    decodeAs(name, text);
  } catch (const DecodingError& e) {
    return e;
  }
  ADD_FAILURE() << "decoding succeeded: " << text;
  return DecodingError(Kind::dataCorrupted, "", "accepted");
}

struct Rejected {
  const char* section;
  std::function<void(json&)> change;
  Kind kind;
  const char* key = nullptr;   // checked when given
  const char* path = nullptr;  // checked when given
};

}  // namespace

TEST(ParamsJson, EachBadValueIsReportedWithItsKindAndPlace) {
  const std::vector<Rejected> cases = {
      {"", [](json& j) { j = json::array(); }, Kind::typeMismatch},
      {"", [](json& j) { j = json::parse(R"({"fileProperties": "x"})"); }, Kind::typeMismatch, nullptr,
       "fileProperties"},
      // Several faults: the first in declaration order is the one reported.
      {"",
       [](json& j) {
         j["certificate"].erase("ltv");
         j["widget"]["widgetWidth"] = "wide";
         j["commonProperties"]["reference"] = nullptr;
       },
       Kind::valueNotFound, "reference", "commonProperties.reference"},
      {"fileProperties", [](json& j) { j["documentUris"] = json::parse(R"(["a", 2])"); }, Kind::typeMismatch, nullptr,
       "documentUris[1]"},
      {"fileProperties", [](json& j) { j["documentUris"] = "a"; }, Kind::typeMismatch},
      // A null element is a missing value, as a null key is.
      {"fileProperties", [](json& j) { j["documentUris"] = json::parse(R"(["a", null])"); }, Kind::valueNotFound,
       nullptr, "documentUris[1]"},
      {"widget", [](json& j) { j["widgetCustomText"] = json::array({nullptr}); }, Kind::valueNotFound, nullptr,
       "widgetCustomText[0]"},
      {"commonProperties", [](json& j) { j["renderDefaultIndexPage"] = 1.5; }, Kind::dataCorrupted},
      {"commonProperties", [](json& j) { j["renderDefaultIndexPage"] = "1"; }, Kind::typeMismatch},
      {"commonProperties", [](json& j) { j["title"] = 7; }, Kind::typeMismatch, "title"},  // optional, wrong type
      {"widget", [](json& j) { j["widgetType"] = 3; }, Kind::typeMismatch, "widgetType"},
      {"widget",
       [](json& j) { j["widgetCustomText"] = json::parse(R"([{"fontSize": 8, "text": "a"}, {"text": "b"}])"); },
       Kind::keyNotFound, nullptr, "widgetCustomText[1].fontSize"},
      {"widget", [](json& j) { j.erase("widgetCustomText"); }, Kind::keyNotFound},
      {"widget", [](json& j) { j["widgetWidth"] = 1e30; }, Kind::dataCorrupted},
      {"widget", [](json& j) { j["widgetWidth"] = json::parse("-9223372036854775809"); }, Kind::dataCorrupted},
      {"widget", [](json& j) { j["widgetHeight"] = json::parse("18446744073709551615"); }, Kind::dataCorrupted,
       "widgetHeight"},
      {"widget", [](json& j) { j["widgetManualRatio"] = 1e300; }, Kind::dataCorrupted, "widgetManualRatio"},
      {"widget", [](json& j) { j["signOnAllPages"] = 1; }, Kind::typeMismatch},  // booleans are not numbers
      {"widget", [](json& j) { j["flexible"] = "yes"; }, Kind::typeMismatch, "flexible"},
      {"customText", [](json& j) { j.erase("text"); }, Kind::keyNotFound, "text"},
      {"customText", [](json& j) { j["fontSize"] = 1.25; }, Kind::dataCorrupted},
      {"tsp", [](json& j) { j.erase("tspActivate"); }, Kind::keyNotFound, "tspActivate"},
      {"tsp", [](json& j) { j.erase("tspURL"); }, Kind::keyNotFound, "tspURL"},
      {"extra", [](json& j) { j.erase("signatureMetadataMode"); }, Kind::keyNotFound, "signatureMetadataMode"},
      {"certificate", [](json& j) { j["ltv"] = "true"; }, Kind::typeMismatch},
      {"certificate", [](json& j) { j["handwrittenSignature"] = nullptr; }, Kind::valueNotFound},
  };
  for (const auto& c : cases) {
    json j = section(c.section);
    c.change(j);
    SCOPED_TRACE(std::string(c.section) + " " + j.dump());
    const auto e = decodeFails(c.section, j.dump());
    EXPECT_EQ(e.kind(), c.kind);
    EXPECT_TRUE(!c.key || e.key() == c.key) << e.key();
    if (c.path) {
      EXPECT_EQ(e.codingPath(), c.path);
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos);
    }
  }
  // Every member object, and every file property (contact too, though
  // nobody reads it), is required.
  for (const char* name : {"", "fileProperties"}) {
    const json all = section(name);
    for (const auto& [key, value] : all.items()) {
      json j = all;
      j.erase(key);
      const auto e = decodeFails(name, j.dump());
      EXPECT_EQ(e.kind(), Kind::keyNotFound) << key;
      EXPECT_EQ(e.key(), key);
    }
  }
}

TEST(ParamsJson, RejectsMalformedAndHostileText) {
  for (const char* text : {"", "{", "[1,2", "{\"fileProperties\": }", "nul", "\xff\xfe"})
    EXPECT_EQ(decodeFails("", text).kind(), Kind::dataCorrupted) << text;
  // A syntax error names its line and column, not the text around it (a password, say).
  const std::string m = decodeFails("", "{\n\"fileProperties\": {\"password\": \"hunter2\n}").what();
  EXPECT_NE(m.find("line 3"), std::string::npos) << m;
  EXPECT_EQ(m.find("hunter2"), std::string::npos) << m;
  // Ignored keys may nest as deep as a host likes, up to a limit no request meets.
  auto deep = [](int levels) {
    auto text = validRequest().dump();
    return text.insert(text.rfind('}'), ", \"hostData\": " + std::string(levels, '[') + std::string(levels, ']'));
  };
  EXPECT_NO_THROW(decodeJson<PenvoraSDKParams>(deep(500)));
  for (const std::string& text : {deep(1001), std::string(100000, '[')})
    EXPECT_NE(std::string(decodeFails("", text).what()).find("nests too deeply"), std::string::npos);
}

TEST(ParamsJson, DecodesEveryMemberAndLeavesOptionalsAbsent) {
  auto p = decodeJson<PenvoraSDKParams>(validRequest().dump());
  EXPECT_EQ(std::tie(p.fileProperties->documentPath, p.fileProperties->documentUris, p.fileProperties->isShareable),
            std::tuple("/tmp/a.pdf", std::vector<std::string>{"file:///b.pdf"}, false));
  EXPECT_EQ(std::tie(p.commonProperties->renderDefaultIndexPage, p.widget->widgetType, p.widget->widgetFixedPage),
            std::tuple(2, PenvoraSDKWidgetType::fixed, 3));
  EXPECT_FLOAT_EQ(p.widget->widgetManualRatio, 2.5f);
  EXPECT_EQ(p.widget->widgetCustomText, std::vector{PenvoraSDKWidgetCustomText(9, "hello")});
  EXPECT_TRUE(p.tsp->tspActivate && p.certificate->ltv && !p.certificate->handwrittenSignature);
  EXPECT_FALSE(p.tsp->tspUser || p.tsp->tspPassword || p.extra->fullScreen);
  EXPECT_EQ(p.extra->signatureThickness, 4);
  EXPECT_TRUE(p.extra->presentsFullScreen());  // absent means full screen
  EXPECT_FALSE(p.certificate->signCertP12B64 || p.certificate->signCertPassword ||
               p.certificate->defaultAliasUserCertificate || p.certificate->encKeyB64);
  EXPECT_FALSE(p.widget->widgetFloatGapX || p.widget->widgetFloatGapY || p.widget->flexible);

  auto j = validRequest();
  j["fileProperties"]["somethingElse"] = {1, 2, 3};  // unknown keys are ignored
  j["commonProperties"].erase("title");
  j["commonProperties"]["renderDefaultIndexPage"] = nullptr;
  for (const char* k : {"widgetFixedPage", "widgetFixedX", "widgetFixedY"}) j["widget"].erase(k);
  j["widget"]["widgetManualRatio"] = 2;  // an integer is a valid number
  j["widget"]["widgetFloatGapY"] = -9223372036854775807LL;
  j["widget"]["widgetCustomText"] = json::array();
  j["extra"]["fullScreen"] = false;
  j["certificate"]["encKeyB64"] = "QUJD";
  p = decodeJson<PenvoraSDKParams>(j.dump());
  EXPECT_EQ(p.fileProperties->author, "A");
  EXPECT_FALSE(p.commonProperties->title || p.commonProperties->renderDefaultIndexPage);
  EXPECT_FALSE(p.widget->widgetFixedPage || p.widget->widgetFixedX || p.widget->widgetFixedY);
  EXPECT_FLOAT_EQ(p.widget->widgetManualRatio, 2.0f);
  EXPECT_EQ(p.widget->widgetFloatGapY, -9223372036854775807LL);
  EXPECT_TRUE(p.widget->widgetCustomText.empty() && !p.extra->presentsFullScreen());
  EXPECT_EQ(p.certificate->encKeyB64, "QUJD");
  j["commonProperties"]["renderDefaultIndexPage"] = 4.0;  // a whole number written with a point
  EXPECT_EQ(decodeJson<PenvoraSDKParams>(j.dump()).commonProperties->renderDefaultIndexPage, 4);
}

TEST(ParamsJson, WidgetTypeStrings) {
  auto j = validRequest()["widget"];
  const std::pair<const char*, PenvoraSDKWidgetType> cases[] = {
      {"Manual", PenvoraSDKWidgetType::manual},  {"Field", PenvoraSDKWidgetType::field},
      {"Fixed", PenvoraSDKWidgetType::fixed},    {"Float", PenvoraSDKWidgetType::float_},
      {"float", PenvoraSDKWidgetType::manual},   {"", PenvoraSDKWidgetType::manual},
      {"Diagonal", PenvoraSDKWidgetType::manual}};
  for (auto [text, type] : cases) {
    j["widgetType"] = text;
    EXPECT_EQ(decodeJson<PenvoraSDKWidget>(j.dump()).widgetType, type) << text;
  }
}

TEST(ParamsJson, RedactedFormMasksSecrets) {
  auto j = validRequest();
  j["certificate"]["signCertP12B64"] = "MIIKSECRETP12";
  j["certificate"]["signCertPassword"] = "hunter2";
  j["tsp"]["tspURL"] = "https://tsa-user:pa55/word@tsa.example/ts";  // credentials in the address, "/" unescaped
  auto params = decodeJson<PenvoraSDKParams>(j.dump());
  auto text = redactedJson(params);
  for (const char* secret : {"hunter2", "SECRET", "\"pw\"", "pa55", "tsa-user"})
    EXPECT_EQ(text.find(secret), std::string::npos) << secret;
  EXPECT_NE(text.find("https://***@tsa.example/ts"), std::string::npos) << text;
  // Text set in code need not be UTF-8; it is shown, not thrown.
  params.fileProperties->author = "Jos\xE9";
  EXPECT_NE(redactedJson(params).find("Jos"), std::string::npos);
}
