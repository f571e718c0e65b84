#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "penvora/JsonDecoding.hpp"

using namespace penvora;
using nlohmann::json;
using Kind = DecodingError::Kind;

namespace {

json validRequest() {
  return json::parse(R"({
    "fileProperties": {"documentPath": "/tmp/a.pdf", "documentUris": ["file:///b.pdf"],
      "signedName": "out.pdf", "isShareable": false, "password": "pw", "author": "A",
      "reason": "R", "contact": "C", "location": "L"},
    "commonProperties": {"title": "T", "requestLocation": true, "renderDefaultIndexPage": 2,
      "reference": "ref", "saveOnPrivateStorage": true},
    "widget": {"widgetType": "Fixed", "widgetManualRatio": 2.5,
      "widgetFixedPage": 3, "widgetFixedX": 10, "widgetFixedY": 20,
      "widgetCustomText": [{"fontSize": 9, "text": "hello"}],
      "requestWidgetCustomText": true, "widgetWidth": 200, "widgetHeight": 80,
      "signOnAllPages": true, "invisibleSignature": false},
    "tsp": {"tspActivate": true, "tspURL": "http://127.0.0.1/tsa"},
    "extra": {"autoOpen": true, "viewLastPage": true, "showReject": true,
      "signatureColorHex": "#FF0000", "signatureThickness": 4, "signatureMetadataMode": true},
    "certificate": {"requestUserCertificate": true, "ltv": true, "handwrittenSignature": false}
  })");
}

// Decodes and expects failure; returns the error for further checks.
template <typename T>
DecodingError decodeFails(const json& j) {
  try {
    decodeJson<T>(j.dump());
  } catch (const DecodingError& e) {
    return e;
  }
  ADD_FAILURE() << "decoding succeeded: " << j.dump();
  return DecodingError(Kind::dataCorrupted, "", "");
}

}  // namespace

TEST(ParamsJson, DecodesEveryMember) {
  auto p = decodeJson<PenvoraSDKParams>(validRequest().dump());
  EXPECT_EQ(p.fileProperties->documentPath, "/tmp/a.pdf");
  EXPECT_EQ(p.fileProperties->documentUris, std::vector<std::string>{"file:///b.pdf"});
  EXPECT_FALSE(p.fileProperties->isShareable);
  EXPECT_EQ(p.commonProperties->renderDefaultIndexPage, 2);
  EXPECT_EQ(p.widget->widgetType, PenvoraSDKWidgetType::fixed);
  EXPECT_FLOAT_EQ(p.widget->widgetManualRatio, 2.5f);
  EXPECT_EQ(p.widget->widgetFixedPage, 3);
  ASSERT_EQ(p.widget->widgetCustomText.size(), 1u);
  EXPECT_EQ(p.widget->widgetCustomText[0], PenvoraSDKWidgetCustomText(9, "hello"));
  EXPECT_TRUE(p.tsp->tspActivate);
  EXPECT_EQ(p.extra->signatureThickness, 4);
  EXPECT_TRUE(p.certificate->ltv);
  EXPECT_FALSE(p.certificate->handwrittenSignature);
}

TEST(ParamsJson, EveryMemberObjectIsRequired) {
  for (const char* key : {"fileProperties", "commonProperties", "widget", "tsp", "extra", "certificate"}) {
    auto j = validRequest();
    j.erase(key);
    auto e = decodeFails<PenvoraSDKParams>(j);
    EXPECT_EQ(e.kind(), Kind::keyNotFound) << key;
    EXPECT_EQ(e.codingPath(), key);
  }
}

TEST(ParamsJson, ReportsFirstOffendingKeyInDeclarationOrder) {
  auto j = validRequest();
  j["certificate"].erase("ltv");
  j["widget"]["widgetWidth"] = "wide";
  j["commonProperties"]["reference"] = nullptr;
  auto e = decodeFails<PenvoraSDKParams>(j);
  EXPECT_EQ(e.kind(), Kind::valueNotFound);
  EXPECT_EQ(e.codingPath(), "commonProperties.reference");
  EXPECT_EQ(e.key(), "reference");
  EXPECT_NE(std::string(e.what()).find("commonProperties.reference"), std::string::npos);
}

TEST(ParamsJson, RejectsMalformedAndHostileText) {
  for (const char* text : {"", "{", "[1,2", "{\"fileProperties\": }", "nul", "\xff\xfe"}) {
    try {
      decodeJson<PenvoraSDKParams>(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const DecodingError& e) {
      EXPECT_EQ(e.kind(), Kind::dataCorrupted);
    }
  }
  std::string deep(100000, '[');
  EXPECT_THROW(decodeJson<PenvoraSDKParams>(deep), DecodingError);
  auto e = decodeFails<PenvoraSDKParams>(json::array());
  EXPECT_EQ(e.kind(), Kind::typeMismatch);
  e = decodeFails<PenvoraSDKParams>(json{{"fileProperties", "x"}});
  EXPECT_EQ(e.kind(), Kind::typeMismatch);
  EXPECT_EQ(e.codingPath(), "fileProperties");
}

TEST(ParamsJson, RedactedFormMasksSecrets) {
  auto j = validRequest();
  j["certificate"]["signCertP12B64"] = "MIIKSECRETP12";
  j["certificate"]["signCertPassword"] = "hunter2";
  auto text = redactedJson(decodeJson<PenvoraSDKParams>(j.dump()));
  EXPECT_EQ(text.find("hunter2"), std::string::npos);
  EXPECT_EQ(text.find("SECRET"), std::string::npos);
  EXPECT_EQ(text.find("\"pw\""), std::string::npos);
}

TEST(FilePropertiesJson, AllNineKeysAreRequired) {
  const auto base = validRequest()["fileProperties"];
  for (auto it = base.begin(); it != base.end(); ++it) {
    auto j = base;
    j.erase(it.key());
    auto e = decodeFails<PenvoraSDKFileProperties>(j);
    EXPECT_EQ(e.kind(), Kind::keyNotFound) << it.key();
    EXPECT_EQ(e.key(), it.key());
  }
  // contact is read by nobody but still required.
  auto j = base;
  j.erase("contact");
  EXPECT_EQ(decodeFails<PenvoraSDKFileProperties>(j).key(), "contact");
}

TEST(FilePropertiesJson, DocumentUrisMustBeStrings) {
  auto j = validRequest()["fileProperties"];
  j["documentUris"] = json::array({"a", 2});
  auto e = decodeFails<PenvoraSDKFileProperties>(j);
  EXPECT_EQ(e.kind(), Kind::typeMismatch);
  EXPECT_EQ(e.codingPath(), "documentUris[1]");
  j["documentUris"] = "a";
  EXPECT_EQ(decodeFails<PenvoraSDKFileProperties>(j).kind(), Kind::typeMismatch);
}

TEST(FilePropertiesJson, UnknownKeysAreIgnored) {
  auto j = validRequest()["fileProperties"];
  j["somethingElse"] = {1, 2, 3};
  EXPECT_EQ(decodeJson<PenvoraSDKFileProperties>(j.dump()).author, "A");
}

TEST(CommonPropertiesJson, OptionalKeysMissingOrNullStayAbsent) {
  auto j = validRequest()["commonProperties"];
  j.erase("title");
  j["renderDefaultIndexPage"] = nullptr;
  auto c = decodeJson<PenvoraSDKCommonProperties>(j.dump());
  EXPECT_FALSE(c.title.has_value());
  EXPECT_FALSE(c.renderDefaultIndexPage.has_value());
}

TEST(CommonPropertiesJson, IntegersMustBeWhole) {
  auto j = validRequest()["commonProperties"];
  j["renderDefaultIndexPage"] = 1.5;
  EXPECT_EQ(decodeFails<PenvoraSDKCommonProperties>(j).kind(), Kind::dataCorrupted);
  j["renderDefaultIndexPage"] = "1";
  EXPECT_EQ(decodeFails<PenvoraSDKCommonProperties>(j).kind(), Kind::typeMismatch);
  j["renderDefaultIndexPage"] = 4.0;  // a whole number written with a point
  EXPECT_EQ(decodeJson<PenvoraSDKCommonProperties>(j.dump()).renderDefaultIndexPage, 4);
  j["title"] = 7;  // optional but of the wrong type
  EXPECT_EQ(decodeFails<PenvoraSDKCommonProperties>(j).key(), "title");
}

TEST(WidgetJson, WidgetTypeStrings) {
  auto j = validRequest()["widget"];
  const std::pair<const char*, PenvoraSDKWidgetType> cases[] = {
      {"Manual", PenvoraSDKWidgetType::manual}, {"Field", PenvoraSDKWidgetType::field},
      {"Fixed", PenvoraSDKWidgetType::fixed},   {"Float", PenvoraSDKWidgetType::float_},
      {"float", PenvoraSDKWidgetType::manual},  {"", PenvoraSDKWidgetType::manual},
      {"Diagonal", PenvoraSDKWidgetType::manual}};
  for (auto [text, type] : cases) {
    j["widgetType"] = text;
    EXPECT_EQ(decodeJson<PenvoraSDKWidget>(j.dump()).widgetType, type) << text;
  }
  j["widgetType"] = 3;
  auto e = decodeFails<PenvoraSDKWidget>(j);
  EXPECT_EQ(e.kind(), Kind::typeMismatch);
  EXPECT_EQ(e.key(), "widgetType");
}

TEST(WidgetJson, FixedAndGapFieldsStayAbsent) {
  auto j = validRequest()["widget"];
  for (const char* k : {"widgetFixedPage", "widgetFixedX", "widgetFixedY"}) j.erase(k);
  auto w = decodeJson<PenvoraSDKWidget>(j.dump());
  EXPECT_FALSE(w.widgetFixedPage || w.widgetFixedX || w.widgetFixedY || w.widgetFloatGapX ||
               w.widgetFloatGapY || w.flexible);
}

TEST(WidgetJson, CustomTextList) {
  auto j = validRequest()["widget"];
  j["widgetCustomText"] = json::array();
  EXPECT_TRUE(decodeJson<PenvoraSDKWidget>(j.dump()).widgetCustomText.empty());
  j["widgetCustomText"] = json::array({{{"fontSize", 8}, {"text", "a"}}, {{"text", "b"}}});
  auto e = decodeFails<PenvoraSDKWidget>(j);
  EXPECT_EQ(e.kind(), Kind::keyNotFound);
  EXPECT_EQ(e.codingPath(), "widgetCustomText[1].fontSize");
  j.erase("widgetCustomText");
  EXPECT_EQ(decodeFails<PenvoraSDKWidget>(j).kind(), Kind::keyNotFound);
}

TEST(WidgetJson, NumbersOutOfRange) {
  auto j = validRequest()["widget"];
  j["widgetWidth"] = 1e30;
  EXPECT_EQ(decodeFails<PenvoraSDKWidget>(j).kind(), Kind::dataCorrupted);
  j = validRequest()["widget"];
  j["widgetHeight"] = json::parse("18446744073709551615");
  EXPECT_EQ(decodeFails<PenvoraSDKWidget>(j).key(), "widgetHeight");
  j = validRequest()["widget"];
  j["widgetManualRatio"] = 1e300;
  EXPECT_EQ(decodeFails<PenvoraSDKWidget>(j).key(), "widgetManualRatio");
  j = validRequest()["widget"];
  j["widgetManualRatio"] = 2;  // an integer is a valid number
  EXPECT_FLOAT_EQ(decodeJson<PenvoraSDKWidget>(j.dump()).widgetManualRatio, 2.0f);
  j["widgetFloatGapY"] = -9223372036854775807LL;
  EXPECT_EQ(decodeJson<PenvoraSDKWidget>(j.dump()).widgetFloatGapY, -9223372036854775807LL);
}

TEST(WidgetJson, BooleansAreNotNumbers) {
  auto j = validRequest()["widget"];
  j["signOnAllPages"] = 1;
  EXPECT_EQ(decodeFails<PenvoraSDKWidget>(j).kind(), Kind::typeMismatch);
  j = validRequest()["widget"];
  j["flexible"] = "yes";
  EXPECT_EQ(decodeFails<PenvoraSDKWidget>(j).key(), "flexible");
}

TEST(CustomTextJson, BothKeysRequired) {
  EXPECT_EQ(decodeJson<PenvoraSDKWidgetCustomText>(R"({"fontSize":12,"text":"x"})"),
            PenvoraSDKWidgetCustomText(12, "x"));
  EXPECT_EQ(decodeFails<PenvoraSDKWidgetCustomText>(json{{"fontSize", 12}}).key(), "text");
  EXPECT_EQ(decodeFails<PenvoraSDKWidgetCustomText>(json{{"fontSize", 1.25}, {"text", "x"}}).kind(),
            Kind::dataCorrupted);
}

TEST(TspJson, UserAndPasswordStayAbsent) {
  auto t = decodeJson<PenvoraSDKTSP>(validRequest()["tsp"].dump());
  EXPECT_FALSE(t.tspUser.has_value());
  EXPECT_FALSE(t.tspPassword.has_value());
  EXPECT_EQ(decodeFails<PenvoraSDKTSP>(json{{"tspURL", "x"}}).key(), "tspActivate");
  EXPECT_EQ(decodeFails<PenvoraSDKTSP>(json{{"tspActivate", false}}).key(), "tspURL");
}

TEST(ExtraJson, FullScreenAbsentMeansFullScreen) {
  auto e = decodeJson<PenvoraSDKExtra>(validRequest()["extra"].dump());
  EXPECT_FALSE(e.fullScreen.has_value());
  EXPECT_TRUE(e.presentsFullScreen());
  auto j = validRequest()["extra"];
  j["fullScreen"] = false;
  EXPECT_FALSE(decodeJson<PenvoraSDKExtra>(j.dump()).presentsFullScreen());
  j.erase("signatureMetadataMode");
  EXPECT_EQ(decodeFails<PenvoraSDKExtra>(j).key(), "signatureMetadataMode");
}

TEST(CertificateJson, StringsOptionalBooleansRequired) {
  auto j = validRequest()["certificate"];
  auto c = decodeJson<PenvoraSDKCertificate>(j.dump());
  EXPECT_FALSE(c.signCertP12B64 || c.signCertPassword || c.defaultAliasUserCertificate || c.encKeyB64);
  j["encKeyB64"] = "QUJD";
  EXPECT_EQ(decodeJson<PenvoraSDKCertificate>(j.dump()).encKeyB64, "QUJD");
  j["ltv"] = "true";
  EXPECT_EQ(decodeFails<PenvoraSDKCertificate>(j).kind(), Kind::typeMismatch);
  j = validRequest()["certificate"];
  j["handwrittenSignature"] = nullptr;
  EXPECT_EQ(decodeFails<PenvoraSDKCertificate>(j).kind(), Kind::valueNotFound);
}
