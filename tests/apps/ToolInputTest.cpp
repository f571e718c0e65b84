// The command-line tools under bad options and bad inputs: a clear message,
// the documented exit code, bounded cost and nothing written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/util/BoundedFile.hpp"
#include "support/PdfTestSupport.hpp"
#include "support/TestPki.hpp"

using testsupport::TempDir, testsupport::tool;
namespace fs = std::filesystem;

TEST(ToolInputTest, BadOptionsAndInputsEndWithTheirReasonAndWriteNothing) {
  TempDir dir;
  const std::string d = dir.path().string() + "/";
  testsupport::writeText(dir / "a.pdf", pdftest::plainPdf());
  testsupport::writeText(dir / "not.pdf", "hello");
  testsupport::writeText(dir / "previous.pdf", "previous");
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  // Sparse: past every limit without using the disk.
  ASSERT_EQ(testsupport::run("truncate -s 20M " + d + "huge").exitCode, 0);
  ASSERT_EQ(testsupport::run("openssl pkey -in " + testsupport::fixture("pki/test-bio-encryption.key.pem") +
                             " -aes256 -passout pass:x -out " + d + "encrypted.pem")
                .exitCode,
            0);
  const std::string sign = tool("penvora-sign") + d + "a.pdf " + d + "out.pdf ";
  const std::string verify = tool("penvora-verify") + d + "a.pdf ";
  const struct {
    std::string command;
    int exitCode;
    std::string message;
  } cases[] = {
      {sign + "--field abc", 2, "--field needs a whole number, not 'abc'"},
      {sign + "--field 99999999999", 2, "--field 99999999999 is out of range"},
      {sign + "--page 1.5", 2, "--page needs a whole number"},
      {sign + "--rect 1e308,0,10,10", 2, "--rect values must lie within"},
      {sign + "--rect 1e999,0,10,10", 2, "--rect value '1e999' is out of range"},
      {sign + "--rect 0,0,0,10", 2, "--rect needs a width and a height above 0"},
      {sign + "--rect 1,2,3", 2, "--rect needs X,Y,W,H"},
      {sign + "--bogus", 2, "unknown option --bogus"},
      {sign + "--reason", 2, "--reason needs a value"},
      {"env -u PENVORA_NO_SUCH " + sign + "--password-env PENVORA_NO_SUCH", 2,
       "--password-env: the variable PENVORA_NO_SUCH is not set"},
      {sign + "--reason-env X", 2, "unknown option --reason-env"},  // only secrets come that way
      {tool("penvora-sign") + d + "a.pdf", 2, "IN.pdf and OUT.pdf are needed"},
      {tool("penvora-sign") + d + "folder " + d + "out.pdf", 1, "The input file is a folder"},
      {tool("penvora-sign") + d + "pipe " + d + "out.pdf", 1, "The input file is not a regular file"},
      {tool("penvora-sign") + d + "missing " + d + "out.pdf", 1, "The input file does not exist"},
      {sign + "--p12 /dev/zero", 1, "The certificate store is not a regular file"},
      {sign + "--p12 " + d + "huge", 1, "The certificate store is larger than 1 MB"},
      {tool("penvora-merge") + "--bogus " + d + "out.pdf " + d + "a.pdf", 2, "unknown option --bogus"},
      {tool("penvora-merge") + d + "out.pdf", 2, "at least one IN.pdf"},
      {tool("penvora-merge") + d + "previous.pdf " + d + "a.pdf", 1, "exists"},  // kept without --overwrite
      {tool("penvora-merge") + d + "out.pdf " + d + "a.pdf " + d + "folder", 1,
       "The source is a folder: " + d + "folder"},
      {tool("penvora-merge") + d + "out.pdf " + d + "not.pdf", 1,
       "The source is not a readable PDF: " + d + "not.pdf (unable to find"},  // with qpdf's reason
      {tool("penvora-params"), 2, "REQUEST.json is needed"},
      {tool("penvora-params") + "/dev/zero", 1, "The request is not a regular file"},
      {tool("penvora-params") + d + "folder", 1, "The request is a folder"},
      {tool("penvora-params") + d + "huge", 1, "The request is larger than 16 MB"},
      {verify + "--json --bogus", 2, "unknown option --bogus"},
      {verify + "--bio-key", 2, "--bio-key needs a value"},
      {verify + "--render-page 1", 2, "--render-page needs N and OUT.png"},
      {verify + "--trust " + d + "folder", 2, "No certificate in the trust anchors at " + d + "folder"},
      {verify + "--bio-key /dev/zero", 2, "The key is not a regular file"},
      {verify + "--bio-key " + d + "huge", 2, "The key is larger than 1 MB"},
      {verify + "--bio-key " + d + "encrypted.pem", 2, d + "encrypted.pem: the key is encrypted"},
      {tool("penvora-verify") + d + "folder", 2, "The input file is a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    // Bounded in time too: a tool that waited on the pipe would be killed.
    const auto r = testsupport::run("timeout 60 " + c.command + " 2>&1 >/dev/null");
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    if (c.exitCode == 2 && r.output.find("unknown option") != std::string::npos) {
      EXPECT_NE(r.output.find("usage: "), std::string::npos) << r.output;
    }
  }
  EXPECT_EQ(testsupport::entries(dir.path()),
            (std::vector<std::string>{"a.pdf", "encrypted.pem", "folder", "huge", "not.pdf", "pipe", "previous.pdf"}))
      << "nothing written";
  EXPECT_EQ(testsupport::readText(dir / "previous.pdf"), "previous");

  // A password from the environment opens the file as one on the line does.
  const fs::path locked = pdftest::encrypted(dir / "a.pdf", "pw");
  const auto r = testsupport::run("PENVORA_PW=pw " + tool("penvora-sign") + locked.string() + " " + d +
                                  "signed.pdf --password-env PENVORA_PW 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "signed.pdf", "pw"), std::vector<std::string>{"Signature is Valid."});
  // A time-stamp loads libcurl, and with it the shared crypto libraries
  // the tool may also hold linked in.
  {
    pdftest::TestPki pki;
    pdftest::TestTsa tsa{pki};
    const auto stamped =
        testsupport::run(tool("penvora-sign") + d + "a.pdf " + d + "stamped.pdf --tsa " + tsa.url() + " 2>&1");
    EXPECT_EQ(stamped.exitCode, 0) << stamped.output;
    EXPECT_EQ(pdftest::pdfsigValidations(dir / "stamped.pdf"), std::vector<std::string>{"Signature is Valid."});
    fs::remove(dir / "stamped.pdf");
  }
  // None given is not a wrong one.
  for (const auto& [command, message] :
       {std::pair{tool("penvora-sign") + locked.string() + " " + d + "x.pdf", "The PDF needs a password (--password"},
        {tool("penvora-sign") + locked.string() + " " + d + "x.pdf --password no", "The PDF password is incorrect"},
        {tool("penvora-verify") + locked.string(), "The PDF needs a password (--password"}})
    EXPECT_NE(testsupport::run(command + " 2>&1").output.find(message), std::string::npos) << command;
}

TEST(ToolInputTest, AFileIsReadWholeOnlyWithinItsLimit) {
  TempDir dir;
  const std::string small = (dir / "small").string();
  testsupport::writeText(small, "12345");
  using penvora::core::util::readBoundedFile;
  EXPECT_EQ(readBoundedFile(small, 5, "The key"), "12345");
  const std::string m = testsupport::errorOf([&] { readBoundedFile(small, 4, "The key"); });
  EXPECT_NE(m.find("The key is larger than 4 bytes"), std::string::npos) << m;
}
