// Reading signatures for the forensic comparison: the SVC2004 converter on
// real files, the three input kinds (a signed PDF made by the engine), pen
// pressure from capture to comparison, the turned copies of references,
// the warping's early stop, and a coarse separation check.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "core/capture/BiometricRecordWriter.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/forensics/DriftVariants.hpp"
#include "core/forensics/DynamicTimeWarping.hpp"
#include "core/forensics/RecordLoader.hpp"
#include "core/forensics/SignatureComparator.hpp"
#include "core/forensics/Svc2004Converter.hpp"
#include "core/forensics/TraceCopy.hpp"
#include "core/util/Sha512.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/UpdateSupport.hpp"

using namespace penvora;
using namespace penvora::core::forensics;
using core::engine::ESSUtils;
using testsupport::readText, testsupport::ScopedEnv, testsupport::TempDir, testsupport::writeText;
namespace fs = std::filesystem;

namespace {

constexpr float kNoCap = std::numeric_limits<float>::infinity();

std::string svc(const std::string& name) { return readText(testsupport::fixture("svc2004/" + name + ".TXT")); }

PenSignature load(const std::string& name, bool pressure = false) {
  return RecordLoader::parseRecordText(Svc2004Converter::toRecordText(svc(name), pressure, name), name);
}

// A record of the given rows ("X;Y;PRESS;SW;TIME" each, LF before each).
std::string recordOf(const std::string& rows, const std::string& maxPress = "1") {
  return std::string(core::capture::BiometricRecordWriter::kHeaderLine) + "1000;1000;" + maxPress +
         ";1000;1000;0;1000;0;1000;;;;;\n" + core::capture::BiometricRecordWriter::kColumnLine + rows;
}

}  // namespace

TEST(Svc2004Converter, RealFileBecomesOurRecord) {
  for (const bool pressure : {false, true}) {
    const auto lines = ESSUtils::split(Svc2004Converter::toRecordText(svc("U1S1"), pressure, "U1S1"), '\n');
    ASSERT_EQ(lines.size(), 3u + 84u);  // header names, values, columns, one row per sample
    EXPECT_EQ(lines[0] + "\n", core::capture::BiometricRecordWriter::kHeaderLine);
    const auto values = ESSUtils::split(lines[1], ';');
    ASSERT_EQ(values.size(), 14u);
    EXPECT_EQ(values[2], pressure ? "1023" : "1");
    EXPECT_EQ(lines[2], "X;Y;PRESS;SW;TIME");
    // "2933 5678 31275775 0 1550 710 439": y flipped, time from 0.
    EXPECT_EQ(lines[3], "2933;" + std::to_string(std::stol(values[1]) - 5678) + (pressure ? ";439;1;0" : ";1;1;0"));
    EXPECT_EQ(ESSUtils::split(lines[4], ';')[4], "10");
  }
  // A stamp before its predecessor does not step back; bad files are refused.
  EXPECT_TRUE(Svc2004Converter::toRecordText("3\n0 0 100 0 0 0 5\n1 1 110 1 0 0 5\n2 2 102 1 0 0 5\n", false, "q")
                  .ends_with(";1;1;10\n2;0;1;1;10"));
  for (const char* bad : {"", "x", "3\n1 2 3 4 5 6 7\n", "1\n1 2 3 4 5 6 7\n"})
    EXPECT_THROW(Svc2004Converter::toRecordText(bad, false, "bad"), ForensicsError) << bad;
}

TEST(RecordLoader, ReadsRecordTextBase64AndSignedPdf) {
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path()}, configEnv{"XDG_CONFIG_HOME", home / "config"}, tmpEnv{"TMPDIR", home / "tmp"};
  fs::create_directories(home / "tmp");
  const std::string record = Svc2004Converter::toRecordText(svc("U2S6"), false, "U2S6");
  writeText(home / "record.txt", record);
  writeText(home / "record.b64", core::util::base64Encode(record) + "\n");
  writeText(home / "bom.txt", "\xEF\xBB\xBF" + record);

  // The same record signed into a PDF by the engine, sealed to the test key.
  writeText(home / "in.pdf", pdftest::documentPdf({{}}, true));
  PenvoraSDKParams params;
  params.fileProperties->documentUris = {(home / "in.pdf").string()};
  params.certificate->encKeyB64 = pdftest::bioCertB64();
  params.widget->widgetType = PenvoraSDKWidgetType::fixed;
  ESSParams ess;
  ess.jpgB64 = core::util::base64Encode(pdftest::inkJpeg(150, 100, 10, 48, 140, 53));
  ess.bounds = {100, 150, 150, 100};
  ess.page = 1;
  ess.pointsB64 = core::util::base64Encode(record);
  const auto signedFiles = core::engine::ESS::signDocuments(params, ess);
  ASSERT_EQ(signedFiles.size(), 1u);
  const std::string key = readText(testsupport::fixture("pki/test-bio-encryption.key.pem"));

  const auto expected = RecordLoader::parseRecordText(record, "record");
  for (const fs::path& file : {home / "record.txt", home / "record.b64", home / "bom.txt", signedFiles[0]}) {
    const auto s = RecordLoader::loadFile(file.string(), key);
    ASSERT_EQ(s.samples.size(), expected.samples.size()) << file;
    EXPECT_EQ(s.samples.back().x, expected.samples.back().x) << file;
    EXPECT_EQ(s.samples.back().time, expected.samples.back().time) << file;
    EXPECT_FALSE(s.hasPressure);
  }

  // The signed file with a byte of the document changed, with a digit of
  // the signature value changed, and with its /Contents zeroed.
  const std::string signedPdf = readText(signedFiles[0]);
  const auto sig = pdftest::signatures(signedPdf).at(0);
  std::string tampered = signedPdf, flipped = signedPdf, zeroed = signedPdf;
  tampered[10] ^= 1;
  char& digit = flipped[sig.range[1] + 2 * sig.cmsDer.size() - 20];
  digit = digit == '0' ? '1' : '0';
  std::fill(zeroed.begin() + sig.range[1] + 1, zeroed.begin() + sig.range[2] - 1, '0');
  // Its page drawn anew by a later update: the record no longer goes with what was signed.
  const std::string altered = pdftest::appendUpdate(
      signedPdf, {{pdftest::updateBase(signedPdf).content1, pdftest::stream("", "BT /F1 24 Tf 72 700 Td (X) Tj ET")}});

  const struct {
    std::string path, key, message, text = "";  // text: written to path first
  } failures[] = {
      {signedFiles[0].string(), "", "needs --bio-key"},
      {signedFiles[0].string(), readText(testsupport::fixture("pki/test-bio-encryption.pem")), "does not open"},
      {(home / "in.pdf").string(), key, "no signature carries a biometric record"},
      {(home / "tampered.pdf").string(), key, "does not hold (HASH_FAILURE", tampered},
      {(home / "flipped.pdf").string(), key, "does not hold (SIG_CRYPTO_FAILURE", flipped},
      {(home / "zeroed.pdf").string(), key, "is damaged (/Contents is not a CMS signature)", zeroed},
      {(home / "altered.pdf").string(), key, "was changed after the signature", altered},
      {(home / "prefixed.pdf").string(), "", "needs --bio-key", "JUNK\n" + signedPdf},  // a PDF all the same
      {(home / "missing").string(), key, "does not exist"},
      {testsupport::fixture("svc2004/U1S1.TXT"), key, "neither a biometric record nor its base64"},
      {(home / "30ms").string(), key, "too short to compare",
       recordOf("\n1;1;1;1;0\n2;2;1;1;10\n3;3;1;1;20\n4;4;1;1;30")},
      {(home / "same-time").string(), key, "too short to compare", recordOf("\n1;1;1;1;5\n9;9;1;1;5")},
      {(home / "still").string(), key, "the pen does not move",
       [] {
         std::string rows;
         for (int t = 0; t < 2000; t += 10) rows += "\n5;5;1;1;" + std::to_string(t);
         return recordOf(rows);
       }()},
      {(home / "backwards").string(), key, "the clock goes back by 100 ms at point 2",
       recordOf("\n1;1;1;1;900\n2;2;1;1;800\n3;3;1;1;700\n4;4;1;1;600\n5;5;1;1;500\n6;6;1;1;400")},
      {(home / "61s").string(), key, "lasts more than 60 s", recordOf("\n1;1;1;1;0\n2;2;1;1;10\n3;3;1;1;61000")},
  };
  for (const auto& f : failures) {
    if (!f.text.empty()) writeText(f.path, f.text);
    try {
      RecordLoader::loadFile(f.path, f.key);
      ADD_FAILURE() << f.path;
    } catch (const ForensicsError& e) {
      EXPECT_NE(std::string(e.what()).find(f.message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(f.path), std::string::npos) << e.what();
    }
  }
  for (const char* row : {"\n1;2;x;1;5", "\n1e300;2;1;1;5", "\n1;2;1"})
    EXPECT_THROW(RecordLoader::parseRecordText(record + row, "bad row"), ForensicsError) << row;

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer reserves far more address space than any limit here
  // 32 MB of empty lines, or of separators in the header or in one row,
  // are read within 256 MB of address space more than the process has
  // (kept per line or per field, they took 0.5 to 1 GB).
  const std::string header = record.substr(0, record.find('\n'));
  for (const std::string& text :
       {record + std::string(32u << 20, '\n'), header + std::string(32u << 20, ';') + record.substr(header.size()),
        record + "\n1;2;1;1;99999" + std::string(32u << 20, ';')}) {
    const pid_t child = fork();
    if (child == 0) {
      rlimit limit{};
      getrlimit(RLIMIT_AS, &limit);
      std::ifstream status("/proc/self/statm");
      std::size_t pages = 0;
      status >> pages;
      limit.rlim_cur = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + (256u << 20);
      setrlimit(RLIMIT_AS, &limit);
      try {
        RecordLoader::parseRecordText(text, "large");
        _exit(0);
      } catch (const std::bad_alloc&) {
        _exit(1);
      } catch (const std::exception&) {
        _exit(0);  // refused for what it says is fine; only running out is not
      }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text.size();
  }
#endif
}

TEST(PenPressure, WrittenOnItsScaleAndComparedOnlyWhenAllCarryIt) {
  core::capture::BiometricRecordInputs in;
  in.documentPath = testsupport::fixture("svc2004/README.md");  // any file: its digest goes into SOFTWARE
  in.strokes = {{0, {{10, 20, 0, 0.5}, {12, 22, 0.01, 1.0}, {14, 25, 0.02, 0.0}}}};
  EXPECT_EQ(RecordLoader::parseRecordText(core::capture::BiometricRecordWriter::buildRecord(in), "plain").hasPressure,
            false);
  in.pressureScale = core::capture::BiometricRecordWriter::kPressureScale;
  const std::string record = core::capture::BiometricRecordWriter::buildRecord(in);
  EXPECT_EQ(ESSUtils::split(ESSUtils::split(record, '\n')[1], ';')[2], "1023");
  EXPECT_TRUE(record.ends_with("\n10;20;512;1;0\n12;22;1023;1;10\n14;25;0;1;20"));
  const auto s = RecordLoader::parseRecordText(record, "pen");
  EXPECT_TRUE(s.hasPressure);
  EXPECT_NEAR(s.samples[0].pressure, 512.0 / 1023, 1e-9);

  // Pressure needs its column too; a value off its scale names its row.
  std::string noColumn = recordOf("\n1;2;1;10\n3;4;1;20", "1023");
  noColumn.replace(noColumn.find("X;Y;PRESS;SW;TIME"), 17, "X;Y;SW;TIME");
  EXPECT_FALSE(RecordLoader::parseRecordText(noColumn, "no column").hasPressure);
  for (const char* row : {"\n3;4;-1;1;20", "\n3;4;1024;1;20"}) {
    try {
      RecordLoader::parseRecordText(recordOf("\n1;2;5;1;10" + std::string(row), "1023"), "off scale");
      ADD_FAILURE() << row;
    } catch (const ForensicsError& e) {
      EXPECT_NE(std::string(e.what()).find("off scale: row 5: PRESS"), std::string::npos) << e.what();
    }
  }

  const std::vector<PenSignature> withPressure = {load("U1S1", true), load("U1S2", true), load("U1S3", true)};
  EXPECT_TRUE(SignatureComparator::compare(withPressure, load("U1S6", true)).usedPressure);
  EXPECT_FALSE(SignatureComparator::compare(withPressure, load("U1S6")).usedPressure);
  EXPECT_FALSE(SignatureComparator::pressureUsable({load("U1S1", true), load("U1S2")}, load("U1S6", true)));
}

// Not a measure of accuracy (bench/forensics is): on two development
// signers, their own later signatures lie closer than skilled forgeries.
TEST(SignatureComparator, GenuineCloserThanSkilledForgeries) {
  for (const std::string user : {"U1", "U2"}) {
    std::vector<PenSignature> refs;
    for (int s = 1; s <= 5; ++s) refs.push_back(load(user + "S" + std::to_string(s)));
    const ReferenceModel model(refs, false, SignatureComparator::settings(false));
    double genuine = 0, forged = 1e9;
    for (const char* s : {"S6", "S7"}) genuine = std::max(genuine, model.compare(load(user + s)).distance);
    for (const char* s : {"S21", "S22", "S23"}) forged = std::min(forged, model.compare(load(user + s)).distance);
    EXPECT_LT(genuine, forged) << user;
    EXPECT_GT(forged, SignatureComparator::kThreshold) << user;
  }
  EXPECT_THROW(ReferenceModel({load("U1S1")}, false, SignatureComparator::settings(false)), ForensicsError);

  // A series too short for the band to reach its end gives no distance,
  // rather than an infinite one that would be decided on.
  const ReferenceModel model({load("U1S1"), load("U1S2")}, false, SignatureComparator::settings(false));
  SignatureFeatures dot = model.references()[0];
  dot.local.resize(dot.dims);
  EXPECT_THROW(model.compare(dot), ForensicsError);
  EXPECT_FALSE(SignatureComparator::genuine(std::nan("")));
}

TEST(ForensicDriftVariants, TurnedBothWaysAboutTheCentroid) {
  const PenSignature s = load("U1S1");
  EXPECT_TRUE(DriftVariants::turned(s, 0).empty());
  const auto turned = DriftVariants::turned(s, 0.15);
  ASSERT_EQ(turned.size(), 2u);
  double cx = 0, cy = 0;
  for (const auto& p : s.samples) cx += p.x / s.samples.size(), cy += p.y / s.samples.size();
  for (std::size_t v = 0; v < 2; ++v) {
    const double expected = v == 0 ? -0.15 : 0.15;
    ASSERT_EQ(turned[v].samples.size(), s.samples.size());
    for (std::size_t i = 0; i < s.samples.size(); i += 17) {
      const PenSample &a = s.samples[i], &b = turned[v].samples[i];
      EXPECT_EQ(a.time, b.time);
      EXPECT_EQ(a.pressure, b.pressure);
      EXPECT_NEAR(std::hypot(a.x - cx, a.y - cy), std::hypot(b.x - cx, b.y - cy), 1e-9);
      if (std::hypot(a.x - cx, a.y - cy) > 1) {
        const double turn = std::atan2(b.y - cy, b.x - cx) - std::atan2(a.y - cy, a.x - cx);
        EXPECT_NEAR(std::remainder(turn, 2 * M_PI), expected, 1e-9);
      }
    }
  }
}

TEST(ForensicWarping, GivesUpOnlyAboveItsLimit) {
  for (bool pressure : {false, true}) {
    FeatureSettings fs;
    fs.usePressure = pressure;
    const auto a = FeatureExtractor::extract(load("U1S1", pressure), fs);
    const auto b = FeatureExtractor::extract(load("U1S21", pressure), fs);
    const double d = DynamicTimeWarping::distance(a, b, 0.15, {}, kNoCap);
    ASSERT_TRUE(std::isfinite(d));
    EXPECT_GT(d, 0);
    EXPECT_EQ(DynamicTimeWarping::distance(a, b, 0.15, {}, kNoCap, d * 1.0001), d);
    EXPECT_TRUE(std::isinf(DynamicTimeWarping::distance(a, b, 0.15, {}, kNoCap, d * 0.9)));
    EXPECT_EQ(DynamicTimeWarping::distance(a, a, 0.15, {}, kNoCap), 0);
    // Weights of 1 are no weights; other weights scale the costs.
    std::vector<float> ones(a.dims, 1.0f), twos(a.dims, 2.0f);
    EXPECT_EQ(DynamicTimeWarping::distance(a, b, 0.15, ones, kNoCap), d);
    EXPECT_NEAR(DynamicTimeWarping::distance(a, b, 0.15, twos, kNoCap), 2 * d, 1e-5 * d);
    // A cap bounds each feature's difference before its weight: every
    // point pair then costs at most cap per unit of weight.
    const double capped = DynamicTimeWarping::distance(a, b, 0.15, {}, 0.75f);
    EXPECT_LT(capped, d);
    EXPECT_LE(DynamicTimeWarping::distance(a, b, 0.15, {}, 0.01f), 0.01 * a.dims * (1 + 1e-6));
    EXPECT_NEAR(DynamicTimeWarping::distance(a, b, 0.15, twos, 0.75f), 2 * capped, 1e-5 * capped);
  }
}

// The same trace moved, scaled (and rounded to whole units) or shifted in
// time is a copy; another signature of the same hand, or the trace with
// one point moved by 5 % of its size, is not.
TEST(ForensicTraceCopy, MovedScaledOrShiftedTracesAreCopies) {
  const PenSignature a = load("U1S1"), other = load("U1S2");
  PenSignature moved = a, scaled = a, bent = a;
  double size = 0;
  for (const auto& p : a.samples)
    size = std::max({size, std::fabs(p.x - a.samples[0].x), std::fabs(p.y - a.samples[0].y)});
  for (auto& p : moved.samples) p.x += 100, p.y -= 50, p.time += 5000;
  for (auto& p : scaled.samples) p.x = std::round(p.x * 1.5), p.y = std::round(p.y * 1.5), p.time *= 0.8;
  bent.samples[bent.samples.size() / 2].x += 0.05 * size;
  EXPECT_TRUE(TraceCopy::isCopy(a, a));
  EXPECT_TRUE(TraceCopy::isCopy(a, moved));
  EXPECT_TRUE(TraceCopy::isCopy(scaled, a));
  EXPECT_FALSE(TraceCopy::isCopy(a, bent));
  EXPECT_FALSE(TraceCopy::isCopy(a, other));
}

// A reference written turned a little, as in another session, is matched
// by the reference's turned copy, at the copy's small penalty.
TEST(ForensicReferenceModel, TurnedCopiesMatchATurnedSignature) {
  std::vector<PenSignature> refs;
  for (int s = 1; s <= 5; ++s) refs.push_back(load("U2S" + std::to_string(s)));
  const auto settings = SignatureComparator::settings(false);
  const ReferenceModel model(refs, false, settings);
  const PenSignature turnedReference = DriftVariants::turned(refs[0], settings.driftTurn)[1];
  EXPECT_EQ(model.compare(turnedReference).referenceDistances[0], 0);

  ComparisonSettings upright = settings;
  upright.driftTurn = 0;
  const ReferenceModel uprightModel(refs, false, upright);
  const PenSignature questioned = DriftVariants::turned(load("U2S6"), settings.driftTurn)[1];
  EXPECT_LT(model.compare(questioned).distance, uprightModel.compare(questioned).distance);
  // Untouched signatures that no copy matches better keep their distances.
  const Comparison plain = model.compare(load("U2S21")), plainUpright = uprightModel.compare(load("U2S21"));
  for (std::size_t r = 0; r < refs.size(); ++r)
    EXPECT_LE(plain.referenceDistances[r], plainUpright.referenceDistances[r]);
}
