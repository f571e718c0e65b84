#include "penvora/PenvoraSDKLauncher.hpp"

#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QVBoxLayout>
#include <QWidget>

#include "penvora/ErrorTexts.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/ui/FontRegistration.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/QtKeychainStore.hpp"

namespace penvora {

void PenvoraSDKLauncher::handleDocument(std::shared_ptr<PenvoraSDKParams> penvoraSDKParams, QWidget* on,
                                        SuccessCallback successCallback, RejectCallback rejectCallback,
                                        ErrorCallback errorCallback) {
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
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);

  auto* controller = new qt::document::PenvoraSDKSignatureViewController(window);
  controller->penvoraSDKParams = std::move(penvoraSDKParams);
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
  if (controller->penvoraSDKParams->extra->presentsFullScreen()) {
    window->showFullScreen();
  } else {
    if (on) window->resize(on->window()->size());
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

}  // namespace penvora
