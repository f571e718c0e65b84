#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>

#include "qt/ui/FontRegistration.hpp"
#include "support/TestSupport.hpp"

using namespace penvora::qt::ui;

using testsupport::CapturedLog;

namespace {
bool copyFont(const QString& name, const QString& folder) {
  return QFile::copy(":/penvora/fonts/" + name + ".ttf", folder + "/" + name + ".ttf");
}
}  // namespace

// One process sees Asap appear only once, so the sequence is one test:
// a missing italic file, then an already registered family, then the
// bundled files.
TEST(FontRegistration, FailureKeepsEarlierFontsThenFamilyIsNotTouchedAgain) {
  ASSERT_FALSE(QFontDatabase::families().contains("Asap")) << "Asap is installed system-wide";
  {
    QTemporaryDir dir;
    ASSERT_TRUE(copyFont("asap_regular", dir.path()));
    ASSERT_TRUE(copyFont("asap_bold", dir.path()));
    CapturedLog log;
    registerFontsIfNeeded(dir.path());
    EXPECT_TRUE(QFontDatabase::families().contains("Asap"));
    EXPECT_FALSE(QFontDatabase::styles("Asap").contains("Bold"));
    ASSERT_GE(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "Error registering asap font: fontPathNotFound");
  }
  {
    QTemporaryDir empty;  // any Asap file access would fail and log
    CapturedLog log;
    registerFontsIfNeeded(empty.path());
    for (const auto& l : log.lines) EXPECT_EQ(l.find("asap"), std::string::npos) << l;
  }
  {
    CapturedLog log;
    registerFontsIfNeeded();
    EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    EXPECT_TRUE(QFontDatabase::families().contains("Exo 2"));
  }
}

TEST(FontRegistration, D_ReasonsForOneFile) {
  QTemporaryDir dir;
  testsupport::writeText((dir.path() + "/text.ttf").toStdString(), "this is not a font at all, just text");
  testsupport::writeText((dir.path() + "/empty.ttf").toStdString(), "");
  EXPECT_EQ(registerFontFile(dir.path(), "text"), RegisterFontError::initFontError);
  EXPECT_EQ(registerFontFile(dir.path(), "empty"), RegisterFontError::invalidFontFile);
  EXPECT_EQ(registerFontFile(dir.path(), "none"), RegisterFontError::fontPathNotFound);
  EXPECT_EQ(registerFontFile(":/penvora/fonts", "exo2_bold"), std::nullopt);
}
