// Faults from outside: a full disk, a kill in the middle of signing, an
// input that goes away or changes while it is being signed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "core/document/DocumentMerge.hpp"
#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora;
using namespace penvora::core::engine;
namespace engine = penvora::core::engine;
using testsupport::entries, testsupport::TempDir, testsupport::writeText;
namespace fs = std::filesystem;

namespace {

// Runs `f` in a forked child: its exit code, -1 when it did not exit.
template <typename F>
int exitCodeInChild(F f) {
  const pid_t pid = fork();
  if (pid == 0) _exit(f());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One page carrying `bytes` of incompressible picture data.
std::string largePdf(std::size_t bytes) {
  std::string samples(bytes, '\0');
  std::mt19937 rng(7);
  for (auto& c : samples) c = static_cast<char>(rng());
  const int side = 1000, rows = static_cast<int>(bytes / 3000);
  samples.resize(static_cast<std::size_t>(side) * rows * 3);
  return pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                            "/Resources << /XObject << /Im 5 0 R >> >> >>",
                            pdftest::stream("", "q 612 0 0 792 0 0 cm /Im Do Q"),
                            pdftest::stream("/Type /XObject /Subtype /Image /Width 1000 /Height " +
                                                std::to_string(rows) + " /ColorSpace /DeviceRGB /BitsPerComponent 8",
                                            samples)});
}

TEST(FaultInjectionTest, FullDiskLeavesNoOutputAndAClearError) {
  TempDir dir;
  writeText(dir / "in.pdf", largePdf(2'000'000));
  pdftest::defaultCertificate();  // loaded before the limit
  EXPECT_EQ(exitCodeInChild([&] {
              // Writes beyond 1 MB fail as on a full disk (EFBIG instead of ENOSPC).
              signal(SIGXFSZ, SIG_IGN);
              rlimit limit{1 << 20, 1 << 20};
              setrlimit(RLIMIT_FSIZE, &limit);
              auto s = pdftest::signer(dir / "in.pdf", dir / "out.pdf");
              const auto e = testsupport::errorOf<core::securepdf::SecurePdfError>([&] { s.sign(); });
              return e == "<no error>" ? 1 : e.find("Writing the output file failed") != std::string::npos ? 0 : 2;
            }),
            0)
      << "1: signed anyway, 2: another message";
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"in.pdf"});

  // A merge is written as it goes: the full disk is the folder's fault,
  // not the source's, and nothing is left.
  fs::create_directories(dir / "tmp");
  EXPECT_EQ(exitCodeInChild([&] {
              signal(SIGXFSZ, SIG_IGN);
              rlimit limit{1 << 20, 1 << 20};
              setrlimit(RLIMIT_FSIZE, &limit);
              const auto r = core::document::mergeDocuments({(dir / "in.pdf").string(), (dir / "in.pdf").string()}, "",
                                                            (dir / "tmp").string());
              return r.status == core::document::MergeResult::Status::merged                  ? 1
                     : r.message.find("cannot be written in the folder") != std::string::npos ? 0
                                                                                              : 2;
            }),
            0)
      << "1: merged anyway, 2: another message";
  EXPECT_TRUE(entries(dir / "tmp").empty());
}

TEST(FaultInjectionTest, KillDuringSigningLeavesNothingOrACompleteFile) {
  TempDir dir;
  fs::create_directories(dir / "tmp");
  fs::create_directories(dir / "home");
  writeText(dir / "home" / "in.pdf", largePdf(20'000'000));
  PenvoraSDKParams params;
  params.fileProperties->documentUris = {(dir / "home" / "in.pdf").string()};
  params.commonProperties->saveOnPrivateStorage = true;  // output in TMPDIR
  params.certificate->handwrittenSignature = false;
  params.widget->widgetType = PenvoraSDKWidgetType::fixed;
  ESSParams ess;
  ess.bounds = {50, 50, 150, 60};
  ess.page = 1;
  const fs::path output = dir / "tmp" / "in.pdf";

  for (int delayMs : {1, 5, 20, 60, 150, 400}) {
    fs::remove(output);
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TMPDIR", (dir / "tmp").c_str(), 1);
      engine::ESS::signDocuments(params, ess);
      _exit(0);
    }
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    SCOPED_TRACE("killed after " + std::to_string(delayMs) + " ms");
    for (const auto& name : entries(dir / "tmp"))
      EXPECT_TRUE(name == "in.pdf" || name.rfind("signcert-", 0) == 0) << "left behind: " << name;
    if (fs::exists(output)) {
      EXPECT_EQ(pdftest::pdfsigValidations(output), std::vector<std::string>{"Signature is Valid."});
    }
  }
  // The next start's clean-up removes key files a killed run left.
  testsupport::ScopedEnv tmp("TMPDIR", dir / "tmp");
  engine::ESS::removeStaleTempP12Files(std::chrono::seconds(0));
  for (const auto& name : entries(dir / "tmp")) EXPECT_EQ(name.rfind("signcert-", 0), std::string::npos) << name;
}

TEST(FaultInjectionTest, ReadOnlyOutputFolder) {
  TempDir dir;
  writeText(dir / "in.pdf", pdftest::plainPdf());
  fs::create_directories(dir / "ro");
  fs::permissions(dir / "ro",
                  fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
  auto s = pdftest::signer(dir / "in.pdf", dir / "ro" / "out.pdf");
  if (geteuid() != 0) {
    EXPECT_THROW(s.sign(), core::securepdf::SecurePdfError);
  } else {
    // Root writes anywhere: sign as an unprivileged user in a child.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir / "in.pdf", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    EXPECT_EQ(exitCodeInChild([&] {
                if (setgid(65534) != 0 || setuid(65534) != 0) return 3;
                const auto e = testsupport::errorOf<core::securepdf::SecurePdfError>([&] { s.sign(); });
                return e == "<no error>" ? 1 : 0;
              }),
              0)
        << "1: signed anyway, other: another error or could not drop privileges";
  }
  fs::permissions(dir / "ro", fs::perms::owner_all);
  EXPECT_TRUE(entries(dir / "ro").empty());
}

TEST(FaultInjectionTest, InputRemovedOrReplacedAfterOpeningChangesNothing) {
  TempDir dir;
  // One file parsed from memory, one parsed from the open file.
  for (std::size_t size : {std::size_t{200'000}, std::size_t{40'000'000}}) {
    SCOPED_TRACE(size);
    const fs::path in = dir / "in.pdf";
    const std::string original = largePdf(size);
    writeText(in, original);
    const auto src = core::securepdf::openForUpdate(in.string(), "");
    fs::remove(in);
    writeText(in, pdftest::plainPdf());  // another document under the same name
    std::string back(src.originalSize, '\0');
    src.read(0, back.data(), back.size());
    EXPECT_TRUE(back == original) << "the bytes of the first opening";
    EXPECT_EQ(src.pdf->getAllPages().size(), 1u);
    fs::remove(in);
  }
}

}  // namespace
