#include "penvora/PenvoraSDKLauncher.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include "penvora/ErrorTexts.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/ui/FontRegistration.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/QtKeychainStore.hpp"

namespace penvora {
namespace {

// One request over a host widget or a host window (at most one of them).
void present(std::shared_ptr<PenvoraSDKParams> penvoraSDKParams, QWidget* on, QWindow* onWindow,
             SuccessCallback successCallback, RejectCallback rejectCallback, ErrorCallback errorCallback) {
  // Widgets need a QApplication; Qt would abort the host without one.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    if (errorCallback) errorCallback(std::string(errortext::NeedsQApplication));
    return;
  }
  // A request without its parameters (or one of their parts) cannot be
  // shown; it ends at once, as a wrong output name does.
  const auto& p = penvoraSDKParams;
  if (!p || !p->fileProperties || !p->commonProperties || !p->widget || !p->tsp || !p->extra || !p->certificate) {
    if (errorCallback) errorCallback(std::string(errortext::MissingParameters));
    return;
  }
  if (!hasPdfExtension(penvoraSDKParams->fileProperties->signedName)) {
    // Nothing is shown yet, so this one is reported at once.
    if (errorCallback) errorCallback(qt::ui::localizedString(errorkey::IncorrectPDFExtension).toStdString());
    return;
  }

  // The window the screen lives in; it goes when the screen does.
  auto* window = new QWidget(on ? on->window() : nullptr, Qt::Window);
  window->setObjectName(QStringLiteral("PenvoraSDKWindow"));
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowModality(Qt::ApplicationModal);
  window->setAccessibleName(qt::ui::localizedString("a11y_signing_screen"));
  window->setWindowTitle(window->accessibleName());
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* controller = new qt::document::PenvoraSDKSignatureViewController(std::move(penvoraSDKParams), window);
  controller->successCallback = std::move(successCallback);
  controller->errorCallback = std::move(errorCallback);
  controller->rejectCallback = std::move(rejectCallback);
  controller->essParams = std::make_shared<ESSParams>();
  layout->addWidget(controller);
  QObject::connect(controller, &QObject::destroyed, window, &QObject::deleteLater);

  qt::ui::registerFontsIfNeeded();
  qt::ui::QtKeychainStore::installIfNeeded();  // stored identities come from the system keychain

  // Cross-fade in, where the window system can fade.
  const bool fades = QGuiApplication::platformName() != QLatin1String("offscreen") &&
                     QGuiApplication::platformName() != QLatin1String("minimal");
  if (fades) window->setWindowOpacity(0.0);
  if (onWindow) {
    window->winId();  // the native window, so it can be tied to the host's
    window->windowHandle()->setTransientParent(onWindow);
  }
  if (controller->penvoraSDKParams->extra->presentsFullScreen()) {
    // Sized now rather than when the window system answers, so the screen
    // is laid out once, at its final size, before the document arrives.
    QScreen* screen = on ? on->screen() : onWindow ? onWindow->screen() : QGuiApplication::primaryScreen();
    if (screen) window->setGeometry(screen->geometry());
    window->showFullScreen();
  } else {
    if (on) window->resize(on->window()->size());
    if (onWindow) window->resize(onWindow->size());
    window->show();
  }
  if (fades) {
    auto* fade = new QPropertyAnimation(window, "windowOpacity", window);
    fade->setDuration(250);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
  }

  controller->viewDidLoad();
}

}  // namespace

void PenvoraSDKLauncher::handleDocument(std::shared_ptr<PenvoraSDKParams> penvoraSDKParams, QWidget* on,
                                        SuccessCallback successCallback, RejectCallback rejectCallback,
                                        ErrorCallback errorCallback) {
  present(std::move(penvoraSDKParams), on, nullptr, std::move(successCallback), std::move(rejectCallback),
          std::move(errorCallback));
}

void PenvoraSDKLauncher::handleDocument(std::shared_ptr<PenvoraSDKParams> penvoraSDKParams, QWindow* on,
                                        SuccessCallback successCallback, RejectCallback rejectCallback,
                                        ErrorCallback errorCallback) {
  present(std::move(penvoraSDKParams), nullptr, on, std::move(successCallback), std::move(rejectCallback),
          std::move(errorCallback));
}

}  // namespace penvora
