// The demo host as a kiosk would run it: a request and a recorded ink,
// headless, ending in a printed callback and an exit status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TestSupport.hpp"

using testsupport::readText, testsupport::run, testsupport::TempDir, testsupport::writeText;
namespace fs = std::filesystem;

namespace {

std::string demo(const std::string& args) {
  return "cd '" + std::string(PENVORA_SOURCE_DIR) + "' && QT_QPA_PLATFORM=offscreen '" + PENVORA_BINARY_DIR +
         "/apps/penvora-demo' " + args + " 2>&1";
}

std::string signedFile(const std::string& output) {
  const auto at = output.find("successCallback: ");
  if (at == std::string::npos) return {};
  const auto start = at + 17;
  return output.substr(start, output.find_first_of(" \n", start) - start);
}

}  // namespace

TEST(DemoReplayTest, TheManualExamplePlaysThroughAndTheOutputVerifies) {
  const auto r = run(demo("examples/request-manual.json --replay examples/ink-manual.json"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string file = signedFile(r.output);
  ASSERT_FALSE(file.empty()) << r.output;
  const auto check = run("pdfsig '" + file + "' 2>&1");
  EXPECT_NE(check.output.find("Signature is Valid."), std::string::npos) << check.output;
  fs::remove(file);
}

TEST(DemoReplayTest, RejectAndBadInputsEndWithTheirStatus) {
  TempDir dir;
  // The capture panel opens by itself and keeps Reject out of reach until it is closed.
  writeText(dir / "reject.json",
            R"({"actions": [{"action": "closeCapture"}, {"action": "reject", "text": "Not my contract"}]})");
  auto r = run(demo("examples/request-float.json --replay '" + (dir / "reject.json").string() + "'"));
  EXPECT_EQ(r.exitCode, 3) << r.output;
  EXPECT_NE(r.output.find("rejectCallback: \"Not my contract\""), std::string::npos) << r.output;

  // Broken replays and requests, and a step whose target never comes: the replay says which.
  const std::string floatRequest = "examples/request-float.json --replay ";
  const std::tuple<const char*, std::string, std::string, int, const char*> broken[] = {
      {"bad.json", R"({"actions": [{"action": "stroke", "points": [[0.1, 0.2]]}]})", floatRequest, 2,
       "each point is [x, y, milliseconds]"},
      {"unknown.json", R"({"actions": [{"action": "dance"}]})", floatRequest, 2, "unknown action \"dance\""},
      {"broken.json", R"({"fileProperties": )", "", 2, ""},  // the request itself
      {"stuck.json", R"({"stepTimeoutMs": 800, "actions": [{"action": "customText", "text": "x"}]})",
       "examples/request-field.json --replay ", 5, "the custom text prompt did not appear"}};
  for (const auto& [name, json, before, status, message] : broken) {
    writeText(dir / name, json);
    r = run(demo(before + "'" + (dir / name).string() + "'"));
    EXPECT_EQ(r.exitCode, status) << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
  }
}

// Several documents: the loading card goes up while they are merged, and
// the replay waits for the document instead of running inside the loading.
// The record keeps the recorded pause between the two strokes (196 ms).
TEST(DemoReplayTest, SeveralDocumentsSignAndTheRecordKeepsThePauseBetweenStrokes) {
  TempDir dir;
  auto request = nlohmann::json::parse(readText(std::string(PENVORA_SOURCE_DIR) + "/examples/request-float.json"));
  request["fileProperties"]["documentPath"] = "";
  request["fileProperties"]["documentUris"] = {"examples/contract.pdf", "examples/sample-contract.pdf"};
  request["fileProperties"]["signedName"] = "several-" + dir.path().filename().string() + ".pdf";
  const std::string pem = readText(testsupport::fixture("pki/test-bio-encryption.pem"));
  request["certificate"]["encKeyB64"] = run("printf %s '" + pem + "' | base64 -w0").output;
  writeText(dir / "several.json", request.dump());
  // The merged file and the signed ones go to the temporary folder: this test's own.
  const auto r = run("export TMPDIR='" + dir.path().string() + "'; " +
                     demo("'" + (dir / "several.json").string() + "' --replay examples/ink-signature.json"));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string file = signedFile(r.output);
  ASSERT_FALSE(file.empty()) << r.output;
  const auto verified =
      run("'" + std::string(PENVORA_BINARY_DIR) + "/apps/penvora-verify' '" + file + "' --json --bio-key '" +
          testsupport::fixture("pki/test-bio-encryption.key.pem") + "' " + testsupport::trustDefault());
  const auto out = nlohmann::json::parse(verified.output, nullptr, false);
  ASSERT_FALSE(out.is_discarded()) << verified.output;
  const std::string record = out["signatures"][0]["bioRecord"].get<std::string>();
  std::istringstream rows(record.substr(record.find("X;Y;PRESS;SW;TIME")));
  std::string row;
  std::getline(rows, row);
  long previous = -1, longestPause = 0;
  while (std::getline(rows, row)) {
    const long time = std::stol(row.substr(row.rfind(';') + 1));
    if (previous >= 0) longestPause = std::max(longestPause, time - previous);
    previous = time;
  }
  EXPECT_GE(longestPause, 150) << record;  // within a stroke points are 16 ms apart at most
}
