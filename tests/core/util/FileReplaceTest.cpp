#include "core/util/FileReplace.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/securepdf/AtomicOutputFile.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora::core::util;
using testsupport::readText, testsupport::TempDir, testsupport::writeText;
namespace fs = std::filesystem;

TEST(FileReplaceTest, OnlyAMissingPathOrWithOverwriteARegularFileReceivesTheOutput) {
  TempDir dir;
  writeText(dir / "file", "kept");
  fs::create_directory(dir / "folder");
  fs::create_symlink(dir / "file", dir / "link");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  struct Case {
    const char* name;
    bool overwrite;
    const char* refusal;  // none: the move happens
  };
  for (const Case& c : {Case{"missing", false, nullptr}, Case{"file", false, "exists"}, Case{"file", true, nullptr},
                        Case{"folder", true, "not a regular file"}, Case{"link", true, "not a regular file"},
                        Case{"pipe", true, "not a regular file"}}) {
    SCOPED_TRACE(std::string(c.name) + (c.overwrite ? " with overwrite" : ""));
    writeText(dir / "new", "new");
    const std::string m = testsupport::errorOf<FileReplaceError>(
        [&] { moveIntoPlace((dir / "new").string(), (dir / c.name).string(), c.overwrite); });
    if (!c.refusal) {
      EXPECT_EQ(m, "<no error>");
      EXPECT_EQ(readText(dir / c.name), "new");
      continue;
    }
    EXPECT_NE(m.find(c.refusal), std::string::npos) << m;
    EXPECT_TRUE(fs::exists(dir / "new")) << "the finished file is not lost";
  }
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
}

TEST(FileReplaceTest, AFileThatAppearsWhileSigningIsKept) {
  TempDir dir;
  penvora::core::securepdf::AtomicOutputFile out((dir / "out.pdf").string(), false);
  out.write("%PDF-1.7 ours");
  writeText(dir / "out.pdf", "theirs");  // another signing took the name
  EXPECT_THROW(out.commit(), penvora::core::securepdf::SecurePdfError);
  EXPECT_EQ(readText(dir / "out.pdf"), "theirs");
}

TEST(FileReplaceTest, TheMergeToolReplacesAnExistingOutputWhenTold) {
  TempDir dir;
  writeText(dir / "a.pdf", pdftest::plainPdf());
  writeText(dir / "out.pdf", "previous");  // kept without --overwrite: see ToolInputTest
  const auto r = testsupport::run(testsupport::tool("penvora-merge") + "--overwrite " + (dir / "out.pdf").string() +
                                  " " + (dir / "a.pdf").string());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(pdftest::qpdfCheckClean(dir / "out.pdf"));
}

TEST(FileReplaceTest, AReplacedFileIsNeverMoreOpenAfterwardsAndTemporaryNamesKeepWholeCharacters) {
  TempDir dir;
  const auto modeAfterReplacing = [&](fs::perms made, fs::perms replaced) {
    writeText(dir / "new", "new");
    writeText(dir / "old", "old");
    fs::permissions(dir / "new", made);
    fs::permissions(dir / "old", replaced);
    moveIntoPlace((dir / "new").string(), (dir / "old").string(), true);
    return fs::status(dir / "old").permissions();
  };
  EXPECT_EQ(modeAfterReplacing(fs::perms(0644), fs::perms(0640)), fs::perms(0640));  // its readers kept
  EXPECT_EQ(modeAfterReplacing(fs::perms(0600), fs::perms(0644)), fs::perms(0600));  // a private file stays so

  std::string name;
  for (int i = 0; i < 43; ++i) name += "\xE4\xB8\xAD";  // 129 bytes of three-byte characters
  const std::string stem = fs::path(temporaryStemBeside((dir / (name + ".pdf")).string())).filename().string();
  EXPECT_EQ(stem, "." + name.substr(0, 42 * 3));
}
