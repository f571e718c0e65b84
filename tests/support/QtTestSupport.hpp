#pragma once
#include <QApplication>
#include <QPdfDocument>
#include <QString>
#include <QTest>
#include <QWidget>

#include "penvora/PenvoraSDKCallbacks.hpp"
#include "penvora/PenvoraSDKLauncher.hpp"
#include "qt/document/NonSelectablePDFView.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/ui/Localization.hpp"
#include "support/TestSupport.hpp"

namespace testsupport {

// With PENVORA_KEEP_PICTURES set to a folder, saves the widget there as
// NAME.png (reference pictures to look at, never compared).
inline void keepPicture(QWidget& w, const char* name) {
  QApplication::processEvents();  // layouts settle before the grab
  for (auto* view : w.findChildren<penvora::qt::document::NonSelectablePDFView*>()) view->waitForVisiblePages();
  if (const char* keep = std::getenv("PENVORA_KEEP_PICTURES")) w.grab().save(QString(keep) + "/" + name + ".png");
}

// A viewer on screen showing `pdf`.
struct Viewer {
  TempDir dir;
  std::optional<penvora::core::document::PDFDocument> structure;
  QPdfDocument rendering;
  penvora::qt::document::NonSelectablePDFView view;
  explicit Viewer(const std::string& pdf, QSize size = {640, 900}) {
    writeText(dir / "v.pdf", pdf);
    structure = penvora::core::document::PDFDocument::open((dir / "v.pdf").string());
    rendering.load(path());
    view.resize(size);
    view.show();
    (void)QTest::qWaitForWindowExposed(&view);
    view.setDocument(&rendering, &*structure);
  }
  QString path() const { return QString::fromStdString((dir / "v.pdf").string()); }
};

// What reached the host, and whether any component window was still up
// when it did.
struct Outcome {
  int calls = 0;
  std::vector<std::string> signedFiles;
  std::optional<std::string> imageFile, header, record;
  std::optional<std::string> error, rejected;
  bool windowsGoneWhenCalled = true;

  static bool componentWindowsVisible() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->objectName() == QStringLiteral("PenvoraSDKWindow")) return true;
    return false;
  }
  Outcome& note() {
    ++calls;
    if (componentWindowsVisible()) windowsGoneWhenCalled = false;
    return *this;
  }
  penvora::SuccessCallback success() {
    return [this](const std::vector<std::string>& files, const std::optional<std::string>& image,
                  const std::optional<std::string>& h, const std::optional<std::string>& r) {
      std::tie(note().signedFiles, imageFile, header, record) = std::tie(files, image, h, r);
    };
  }
  penvora::RejectCallback reject() {
    return [this](const std::string& reason) { note().rejected = reason; };
  }
  penvora::ErrorCallback failure() {
    return [this](const std::optional<std::string>& message) { note().error = message.value_or("<none>"); };
  }
  // Reported exactly once, after every component window was gone.
  bool onceAfterTheWindows() const { return calls == 1 && windowsGoneWhenCalled; }
  // Lets the event loop run until something was reported.
  bool wait(int ms = 10000) {
    return QTest::qWaitFor([this] { return calls > 0; }, ms);
  }
};

// The signing screen the launcher put up (other than `besides`), once it is there.
inline penvora::qt::document::PenvoraSDKSignatureViewController* shownController(const QObject* besides = nullptr) {
  penvora::qt::document::PenvoraSDKSignatureViewController* found = nullptr;
  (void)QTest::qWaitFor(
      [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
          if (w->objectName() == QStringLiteral("PenvoraSDKWindow") && w->isVisible())
            if (auto* c = w->findChild<penvora::qt::document::PenvoraSDKSignatureViewController*>(); c && c != besides)
              found = c;
        return found != nullptr;
      },
      5000);
  return found;
}

// One request to the launcher over a host widget: a fixed box on page 1 at
// (100, 100) unless the test says otherwise.
struct Request {
  TempDir dir;
  QWidget host;
  Outcome outcome;
  std::shared_ptr<penvora::PenvoraSDKParams> params = std::make_shared<penvora::PenvoraSDKParams>();
  penvora::qt::document::PenvoraSDKSignatureViewController* c = nullptr;

  Request() {
    penvora::qt::ui::setLanguage("en");
    host.resize(800, 1000);
    params->widget->widgetType = penvora::PenvoraSDKWidgetType::fixed;
    params->widget->widgetFixedPage = 1;
    params->widget->widgetFixedX = 100;
    params->widget->widgetFixedY = 100;
  }
  std::string file(const std::string& name, const std::string& bytes) {
    writeText(dir / name, bytes);
    return (dir / name).string();
  }
  void document(const std::string& bytes, const std::string& name = "a.pdf") {
    params->fileProperties->documentPath = file(name, bytes);
  }
  void launch() {
    penvora::PenvoraSDKLauncher::handleDocument(params, &host, outcome.success(), outcome.reject(), outcome.failure());
  }
  // Launches and waits until the document is on screen.
  penvora::qt::document::PenvoraSDKSignatureViewController* shown() {
    launch();
    c = shownController();
    if (c && !c->document()) (void)QTest::qWaitFor([this] { return c->document() != nullptr; }, 5000);
    return c;
  }
};

}  // namespace testsupport
