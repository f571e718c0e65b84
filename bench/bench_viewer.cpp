// The signing screen on big documents, with the offscreen platform:
//   bench_viewer inputs DIR          writes DIR/pages-500.pdf and DIR/picture-50.pdf
//   bench_viewer first-page FILE     ms from handleDocument to the first page drawn
//   bench_viewer search FILE TEXT    ms to find TEXT as the float placement
//                                    does (its first match; absent, every page read)
// One measurement per process; bench/table.py runs it next to its peers.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchDocuments.hpp"
#include "penvora/PenvoraSDKLauncher.hpp"
#include "penvora/PenvoraSDKParams.hpp"
#include "qt/document/NonSelectablePDFView.hpp"
#include "qt/document/PDFTextSearch.hpp"

namespace fs = std::filesystem;
using penvora::qt::document::NonSelectablePDFView;

namespace {

NonSelectablePDFView* shownViewer() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* view = w->findChild<NonSelectablePDFView*>(); view && view->pageCount() > 0 && view->isVisible())
      return view;
  return nullptr;
}

int firstPage(const char* file) {
  // The host's own screen, on show before the user asks to sign: its first
  // paint (and the system's fonts, read for its button's text) are the
  // host's, not part of what is measured.
  QWidget host;
  host.resize(900, 1100);
  QPushButton sign("Sign the contract", &host);
  host.show();
  while (!host.windowHandle() || !host.windowHandle()->isExposed()) QCoreApplication::processEvents();
  host.repaint();
  QCoreApplication::processEvents();
  auto params = std::make_shared<penvora::PenvoraSDKParams>();
  params->fileProperties->documentUris = {file};
  params->widget->widgetType = penvora::PenvoraSDKWidgetType::manual;
  bool failed = false;
  QElapsedTimer clock;
  clock.start();
  penvora::PenvoraSDKLauncher::handleDocument(
      params, &host, [](auto&&...) {}, [](auto&&...) {}, [&](auto&&...) { failed = true; });
  NonSelectablePDFView* view = nullptr;
  while (!(view = shownViewer()) && !failed && clock.elapsed() < 60000) QCoreApplication::processEvents();
  if (!view) return 1;
  view->waitForVisiblePages(60000);
  view->viewport()->repaint();
  std::printf("%.2f\n", static_cast<double>(clock.nsecsElapsed()) / 1e6);
  std::fflush(stdout);
  return 0;
}

int search(const char* file, const char* text) {
  QElapsedTimer clock;
  clock.start();
  const penvora::qt::document::PDFTextSearch pdf(QString::fromUtf8(file), QString());
  const auto found = pdf.findFirst(QString::fromUtf8(text), penvora::qt::document::FindOptions::literal);
  std::printf("%.2f\t%d\n", static_cast<double>(clock.nsecsElapsed()) / 1e6,
              found ? static_cast<int>(found->pageIndex) : -1);
  std::fflush(stdout);
  return pdf.isLoaded() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "inputs" && argc == 3) {
    bench::writeTextPages(fs::path(argv[2]) / "pages-500.pdf", 500, "Penvora benchmark page", true);
    bench::writePicturePage(fs::path(argv[2]) / "picture-50.pdf", 50'000'000);
    return 0;
  }
  QApplication app(argc, argv);
  // Leaves without tearing the screen down: only the measured part counts.
  if (mode == "first-page" && argc == 3) std::_Exit(firstPage(argv[2]));
  if (mode == "search" && argc == 4) std::_Exit(search(argv[2], argv[3]));
  std::fprintf(stderr, "usage: bench_viewer inputs DIR | first-page FILE | search FILE TEXT\n");
  return 2;
}
