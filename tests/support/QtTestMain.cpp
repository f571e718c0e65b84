// GoogleTest main for tests that drive real widgets: one QApplication for
// the whole run, offscreen unless told otherwise.
#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
  // The component writes merged and signed files to the temporary folder;
  // each run gets its own, so runs side by side never take each other's
  // names or remove each other's files.
  QTemporaryDir tmp;
  if (tmp.isValid()) qputenv("TMPDIR", QFile::encodeName(tmp.path()));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
