// penvora-forensics as other tools call it: the JSON object, one line per
// questioned file, exit 2 with a reason on unreadable input, and a report
// that is written whole or not at all.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/forensics/Svc2004Converter.hpp"
#include "support/TestSupport.hpp"

using testsupport::readText, testsupport::run, testsupport::TempDir, testsupport::tool, testsupport::writeText;

namespace {

// User 2's references S1-S5 and questioned S6, S21 as record files in `dir`.
std::string convert(const TempDir& dir, const std::string& name) {
  const auto path = dir / (name + ".txt");
  writeText(path, penvora::core::forensics::Svc2004Converter::toRecordText(
                      readText(testsupport::fixture("svc2004/" + name + ".TXT")), false, name));
  return path.string();
}

}  // namespace

TEST(ForensicsTool, ScoreContractReportAndFailures) {
  TempDir dir;
  std::string refs = " --reference";
  for (int s = 1; s <= 5; ++s) refs += " " + convert(dir, "U2S" + std::to_string(s));
  const std::string genuine = convert(dir, "U2S6"), forged = convert(dir, "U2S21");
  const std::string score = tool("penvora-forensics") + "score" + refs + " --questioned " + genuine + " " + forged;

  auto r = run(score + " --json");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto j = nlohmann::json::parse(r.output);
  ASSERT_TRUE(j["threshold"].is_number());
  ASSERT_EQ(j.size(), 2u);
  ASSERT_EQ(j["results"].size(), 2u);
  const double t = j["threshold"];
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& res = j["results"][i];
    EXPECT_EQ(res.size(), 3u);
    EXPECT_EQ(res["file"], i == 0 ? genuine : forged);
    EXPECT_EQ(res["decision"], res["distance"].get<double>() <= t ? "genuine" : "forgery");
  }
  EXPECT_EQ(j["results"][0]["decision"], "genuine");
  EXPECT_EQ(j["results"][1]["decision"], "forgery");
  r = run(score);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.output.find(genuine + ": distance"), std::string::npos) << r.output;
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 2);

  // A copy of a reference is flagged, in both forms of the answer; a file
  // name that is not UTF-8 still gives valid JSON.
  const std::string copy = (dir / "copy\xE9.txt").string();
  writeText(copy, readText(dir / "U2S3.txt"));
  r = run(tool("penvora-forensics") + "score" + refs + " --questioned '" + copy + "' --json");
  EXPECT_EQ(nlohmann::json::parse(r.output)["results"][0]["identicalTo"], (dir / "U2S3.txt").string()) << r.output;
  r = run(tool("penvora-forensics") + "score" + refs + " --questioned '" + copy + "'");
  EXPECT_NE(r.output.find("the trace of reference " + (dir / "U2S3.txt").string()), std::string::npos) << r.output;

  const std::string report = tool("penvora-forensics") + "report" + refs + " --questioned " + forged + " ";
  for (const char* out : {"r.png", "r.pdf"}) {
    r = run(report + (dir / out).string() + " 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(readText(dir / out).substr(1, 3), out[3] == 'n' ? "PNG" : "PDF") << out;
  }
  EXPECT_EQ(run(report + "--overwrite " + (dir / "r.png").string()).exitCode, 0);
  const std::string pdfReport = readText(dir / "r.pdf");

  writeText(dir / "garbage", "not a record");
  const std::string dot = (dir / "dot.txt").string();
  writeText(dot, readText(genuine).substr(0, readText(genuine).find("\n", 200)));
  const struct {
    std::string command, message;
  } failures[] = {
      {score + " " + (dir / "missing").string(), "The signature file does not exist"},
      {score + " " + (dir / "garbage").string(), "neither a biometric record nor its base64"},
      {score + " " + dot, dot + ": too short to compare"},
      {score + " --reference '" + copy + "'",
       copy + ": the same signature as reference " + (dir / "U2S3.txt").string()},
      {score + " --bio-key", "--bio-key needs a value"},
      {score + " --bio-key " + (dir / "garbage").string(), "garbage: not an RSA private key"},
      {tool("penvora-forensics") + "score --reference " + genuine + " --questioned " + forged,
       "--reference needs at least two files"},
      {tool("penvora-forensics") + "score --reference", "--reference needs at least two files"},
      {tool("penvora-forensics") + "compare" + refs, "unknown command compare"},
      {report + (dir / "r.txt").string(), "the report must end in .pdf or .png"},
      {report, "report needs one OUT.pdf or OUT.png"},
      // A second questioned file is OUT, and an existing one is kept.
      {report + (dir / "r.pdf").string(), "r.pdf exists and is kept (--overwrite replaces it)"},
      {report + "--overwrite " + (dir / "." / "U2S1.txt").string(), "is one of the inputs"},
      {report + genuine + " " + (dir / "n.png").string(), "report compares exactly one --questioned file"},
      {score + " --overwrite", "--overwrite is for report"},
      {report + "--overwrite " + (dir / "evidence.pdf").string(), "is a signed document: a report never replaces one"},
      {report + "--overwrite " + (dir / "mailed.pdf").string(), "is a signed document: a report never replaces one"},
  };
  writeText(dir / "evidence.pdf", "%PDF-1.7\n1 0 obj << /Type /Sig /ByteRange [0 1 2 3] >> endobj\n");
  writeText(dir / "mailed.pdf", "From: a gateway\n" + readText(dir / "evidence.pdf"));  // readers skip to the header
  for (const auto& f : failures) {
    r = run(f.command + " 2>&1");
    EXPECT_EQ(r.exitCode, 2) << f.command;
    EXPECT_NE(r.output.find(f.message), std::string::npos) << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "r.txt"));
  EXPECT_EQ(readText(dir / "r.pdf"), pdfReport);
  EXPECT_EQ(readText(dir / "evidence.pdf").substr(0, 8), "%PDF-1.7");
}

// The report's page with many references and a long questioned path:
// every reference named, those beyond the grid said to be left out, the
// path shortened in its middle rather than cut at the page's edge.
TEST(ForensicsTool, ReportNamesEveryReferenceAndStaysWithinThePage) {
  TempDir dir;
  std::string refs = " --reference";
  for (int k = 0; k < 30; ++k) {
    // Five signatures, each made distinct by a last point further right.
    const std::string record = readText(convert(dir, "U2S" + std::to_string(k % 5 + 1)));
    const std::string last = record.substr(record.rfind('\n') + 1);
    const long t = std::stol(last.substr(last.rfind(';') + 1)) + 10;
    const long x = std::stol(last.substr(0, last.find(';'))) + 100 * (k + 1);
    const std::string between = last.substr(last.find(';'), last.rfind(';') + 1 - last.find(';'));
    const auto path = dir / ("r" + std::to_string(k) + ".txt");
    writeText(path, record + "\n" + std::to_string(x) + between + std::to_string(t));
    refs += " " + path.string();
  }
  const auto questioned = dir / (std::string(200, 'q') + ".txt");
  writeText(questioned, readText(convert(dir, "U2S21")));
  const auto out = dir / "report.pdf";
  const auto r =
      run(tool("penvora-forensics") + "report" + refs + " --questioned " + questioned.string() + " " + out.string());
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string text = run("pdftotext -layout " + out.string() + " -").output;
  for (int k = 0; k < 30; ++k) EXPECT_NE(text.find("r" + std::to_string(k) + ".txt"), std::string::npos) << k;
  EXPECT_NE(text.find("R16 to R30 are not drawn above"), std::string::npos) << text;
  EXPECT_NE(text.find("qqq\u2026qqq"), std::string::npos) << text;
}
