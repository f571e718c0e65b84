// The signing flow: styling, capture, handing the signature to placement,
// the identity, the custom text, the engine and the outcome; reject, back
// and share.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>

#include "core/document/WidgetPlacement.hpp"
#include "core/engine/ESS.hpp"
#include "core/util/Base64.hpp"
#include "penvora/ErrorTexts.hpp"
#include "penvora/Log.hpp"
#include "penvora/PenvoraSdkCertManager.hpp"
#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/document/SignaturePlacement.hpp"
#include "qt/ui/Accessibility.hpp"
#include "qt/ui/CustomTextPrompt.hpp"
#include "qt/ui/InfoAlertViewController.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/PanelFonts.hpp"
#include "qt/ui/QtColor.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"
#include "ui_PenvoraSDKSignatureViewController.h"

namespace penvora::qt::document {
namespace {

constexpr const char* kAccentColor = "0057A2";

QString accentCss() { return ui::colorFromHex(QString::fromLatin1(kAccentColor)).name(); }

// The document digested into the record: the path when given, else the
// first entry.
std::string capturedDocumentPath(const PenvoraSDKFileProperties& files) {
  if (!QString::fromStdString(files.documentPath).trimmed().isEmpty()) return files.documentPath;
  if (!files.documentUris.empty()) {
    const QUrl url(QString::fromStdString(files.documentUris.front()));
    return url.isLocalFile() ? url.toLocalFile().toStdString() : files.documentUris.front();
  }
  return {};
}

}  // namespace

capture::SignatureDrawerView* PenvoraSDKSignatureViewController::captureView() const { return captureView_; }
ui::CustomTextPrompt* PenvoraSDKSignatureViewController::customTextPrompt() const { return customTextPrompt_; }
ui::UseDefaultCertDialog* PenvoraSDKSignatureViewController::defaultCertDialog() const { return defaultCertDialog_; }
ui::InfoAlertViewController* PenvoraSDKSignatureViewController::infoAlert() const { return infoAlert_; }
ui::RejectAlertViewController* PenvoraSDKSignatureViewController::rejectDialog() const { return rejectDialog_; }
QLabel* PenvoraSDKSignatureViewController::toast() const { return toast_; }
QWidget* PenvoraSDKSignatureViewController::confirmButtons() const { return ui_->stackViewConfirmButtons; }
QWidget* PenvoraSDKSignatureViewController::acceptButton() const { return ui_->acceptButton; }
QWidget* PenvoraSDKSignatureViewController::cancelButton() const { return ui_->cancelButton; }
QWidget* PenvoraSDKSignatureViewController::shareButton() const { return ui_->shareButton; }

double PenvoraSDKSignatureViewController::signButtonOpacity() const {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(ui_->signButton->graphicsEffect());
  return effect ? effect->opacity() : 1.0;
}

void PenvoraSDKSignatureViewController::styleScreen() {
  // Sizes and colours of the tablet look live in the resources.
  QFile look(QStringLiteral(":/penvora/style/tablet.qss"));
  if (look.open(QIODevice::ReadOnly)) setStyleSheet(QString::fromUtf8(look.readAll()));
  const QString accent = accentCss();
  const QString filled =
      QStringLiteral("QPushButton { background: %1; color: white; border: none; padding: 10px; }").arg(accent);
  ui_->acceptButton->setStyleSheet(filled);
  ui_->cancelButton->setStyleSheet(filled);

  const auto& files = *penvoraSDKParams->fileProperties;
  // Before loading rewrites the entries: several documents cannot be shared as one.
  if (files.isShareable && files.documentUris.size() < 2) {
    ui_->shareButton->setEnabled(true);
    ui_->shareButton->setStyleSheet(QStringLiteral("color: %1;").arg(ui::toolbarTextColor().name()));
  } else {
    ui_->shareButton->setEnabled(false);
    ui_->shareButton->setStyleSheet(QStringLiteral("color: transparent;"));
  }

  ui_->pdfView->viewport()->setStyleSheet(QString());
  QPalette white = ui_->pdfView->palette();
  white.setColor(QPalette::Base, Qt::white);
  ui_->pdfView->setPalette(white);
  ui_->signingActivityIndicator->raise();
  ui_->signButton->raise();
  if (penvoraSDKParams->extra->showReject) {
    ui_->rejectButton->show();
    ui_->rejectButton->raise();
  }
  ui_->toolbar->setObjectName(QStringLiteral("toolbar"));
  // The bar's texts and focus ring are set here, next to its colour, so
  // no other sheet can leave them dark on the accent.
  ui_->toolbar->setStyleSheet(QStringLiteral("QFrame#toolbar { background: %1; } QLabel, QToolButton { color: %2; }")
                                  .arg(accent, ui::toolbarTextColor().name()) +
                              ui::focusRing(QLatin1String(ui::kFocusOnAccent)));
  // Title and page counter in the bar's own title view.
  QFont title = ui::namedFont(QStringLiteral("Asap-Bold"), 15),
        subtitle = ui::namedFont(QStringLiteral("Asap-Bold"), 12);
  ui_->toolbarTitle->setFont(title);
  ui_->toolbarSubtitle->setFont(subtitle);
  for (QLabel* label : {ui_->toolbarTitle, ui_->toolbarSubtitle}) {
    label->setMaximumWidth(220);
    label->setAlignment(Qt::AlignCenter);
  }
}

void PenvoraSDKSignatureViewController::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (appeared_) return;
  appeared_ = true;
  if (QScreen* screen = this->screen()) connect(screen, &QScreen::orientationChanged, this, [this] { rotated(); });
  // As the screen appears, not waiting for the document.
  QTimer::singleShot(0, this, [this] {
    if (penvoraSDKParams && penvoraSDKParams->extra->autoOpen && !penvoraSDKParams->extra->viewLastPage)
      presentCapture();
  });
}

void PenvoraSDKSignatureViewController::fadeSignButton(bool in) {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(ui_->signButton->graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(ui_->signButton);
    effect->setOpacity(1.0);
    ui_->signButton->setGraphicsEffect(effect);
  }
  auto* fade = new QPropertyAnimation(effect, "opacity", this);
  fade->setDuration(500);
  fade->setEasingCurve(QEasingCurve::InCurve);
  fade->setEndValue(in ? 1.0 : 0.0);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
  // Faded out it only looks gone: it must not take taps or keys either.
  ui_->signButton->setAttribute(Qt::WA_TransparentForMouseEvents, !in);
  ui_->signButton->setFocusPolicy(in ? Qt::StrongFocus : Qt::NoFocus);
  if (!in) ui_->signButton->clearFocus();
}

QImage PenvoraSDKSignatureViewController::renderPlaceholderImage(const QString& text, QSizeF size) {
  QImage image(size.toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  QColor grey(Qt::lightGray);
  grey.setAlphaF(0.8f);
  p.fillRect(image.rect(), grey);
  p.setPen(Qt::black);
  p.setFont(ui::namedFont(QStringLiteral("Asap-Regular"), 18));
  p.drawText(QRectF(8, 8, size.width() - 16, size.height() - 16), Qt::AlignHCenter | Qt::TextWordWrap, text);
  return image;
}

void PenvoraSDKSignatureViewController::touchUpInsideCapureSignButton() {
  if (captureView_ || signaturePage_ >= 0) return;  // one capture and one box at a time
  if (penvoraSDKParams->certificate->handwrittenSignature) {
    presentCapture();
    return;
  }
  if (!document_) return;
  // No drawing: the box only marks where the signature goes, placed by hand.
  const double r = placement().signatureRatio();
  addSignatureAnnotation(renderPlaceholderImage(ui::localizedString("DragAndResize"), QSizeF(r * 75, 75)));
  ui_->stackViewConfirmButtons->show();
  fadeSignButton(false);
}

void PenvoraSDKSignatureViewController::presentCapture() {
  if (captureView_ || signaturePage_ >= 0) return;
  // The ratio without a document yet (automatic opening) is the widget's own.
  const double ratio = document_ ? placement().signatureRatio()
                                 : core::document::signatureRatio(*penvoraSDKParams->widget, std::nullopt);
  core::capture::DrawerModel model{ratio,
                                   penvoraSDKParams->extra->signatureColorHex,
                                   static_cast<int>(penvoraSDKParams->extra->signatureThickness),
                                   penvoraSDKParams->commonProperties->requestLocation,
                                   capturedDocumentPath(*penvoraSDKParams->fileProperties),
                                   penvoraSDKParams->commonProperties->recordPenPressure,
                                   penvoraSDKParams->commonProperties->allowConfirmWithoutDrawing};
  auto* view = new capture::SignatureDrawerView(
      std::move(model),
      [this](const QImage& image, const std::string& recordB64) {
        if (captureView_) ui::ModalOverlay::dismiss(captureView_);
        captureView_.clear();
        // Once the panel is gone.
        QTimer::singleShot(0, this, [this, image, recordB64] {
          essParams->pointsB64 = recordB64;
          placeCapturedSignature(image);
        });
      },
      [this] {
        if (captureView_) ui::ModalOverlay::dismiss(captureView_);
        captureView_.clear();
      },
      this);
  view->onConfirmWithoutDrawing([this] {
    if (captureView_) ui::ModalOverlay::dismiss(captureView_);
    captureView_.clear();
    QTimer::singleShot(0, this, [this] { confirmWithoutDrawing(); });
  });
  captureView_ = view;
  ui::ModalOverlay::cover(view, this);
  view->show();
}

void PenvoraSDKSignatureViewController::confirmWithoutDrawing() {
  // From here the request is one without a handwritten signature: the
  // engine draws the placeholder picture and adds no biometric data, and
  // the box says why there is no handwriting.
  penvoraSDKParams->certificate->handwrittenSignature = false;
  essParams->pointsB64.clear();
  confirmedWithoutDrawing_ = true;
  penvoraSDKParams->widget->widgetCustomText.emplace_back(11,
                                                          ui::localizedString("signed-without-drawing").toStdString());
  touchUpInsideCapureSignButton();
}

void PenvoraSDKSignatureViewController::placeCapturedSignature(const QImage& image) {
  if (!document_) {
    pendingSignature_ = image;
    return;
  }
  if (penvoraSDKParams->widget->widgetType == PenvoraSDKWidgetType::manual) {
    addSignatureAnnotation(image);
    ui_->stackViewConfirmButtons->show();
    fadeSignButton(false);
    return;
  }
  if (placement().placeSignature(image, *essParams)) startSigning(true);
}

void PenvoraSDKSignatureViewController::touchUpInsideCancelButton() {
  essParams->pointsB64.clear();
  fadeSignButton(true);
  ui_->stackViewConfirmButtons->hide();
  ui_->toolbar->show();
  removePlacementAnnotations();
  ui_->signButton->setFocus(Qt::OtherFocusReason);  // where the next try starts
}

void PenvoraSDKSignatureViewController::startSigning(bool askText) {
  auto& certificate = *penvoraSDKParams->certificate;
  if (certificate.requestUserCertificate && certificate.defaultAliasUserCertificate) {
    // The keychain answers through the event loop (it may ask to unlock
    // first). Meanwhile the screen takes no input, so the box cannot be
    // withdrawn under the signing about to start; a closed window may
    // still end, even delete, the screen, so the lookup keeps its own
    // copies and nothing of the screen is touched after it unless alive.
    const auto params = penvoraSDKParams;
    const std::string alias = *certificate.defaultAliasUserCertificate;
    const QPointer<PenvoraSDKSignatureViewController> alive(this);
    const QPointer<QWidget> shield = new QWidget(this);
    ui::ModalOverlay::cover(shield, this);
    shield->show();
    const auto stored = PenvoraSdkCertManager::loadCertFromKeychain(alias);
    if (!alive || reported_) return;
    if (shield) ui::ModalOverlay::dismiss(shield);
    if (stored) {
      certificate.signCertP12B64 = core::util::base64Encode(stored->certData);
      certificate.signCertPassword = stored->password;
      askCustomTextOrSign(askText);
      return;
    }
    // Not stored: the user decides whether the default identity will do.
    if (defaultCertDialog_) return;
    auto* dialog = new ui::UseDefaultCertDialog(
        [this] {
          if (defaultCertDialog_) ui::ModalOverlay::dismiss(defaultCertDialog_);
          defaultCertDialog_.clear();
        },
        [this, askText] {
          if (defaultCertDialog_) ui::ModalOverlay::dismiss(defaultCertDialog_);
          defaultCertDialog_.clear();
          QTimer::singleShot(0, this, [this, askText] { askCustomTextOrSign(askText); });
        },
        ui::UseDefaultCertDialog::defaultInformationUrl(), {}, this);
    defaultCertDialog_ = dialog;
    ui::ModalOverlay::cover(dialog, this);
    dialog->show();
    return;
  }
  askCustomTextOrSign(askText);
}

void PenvoraSDKSignatureViewController::askCustomTextOrSign(bool askText) {
  if (penvoraSDKParams->widget->requestWidgetCustomText && askText) {
    requestCustomText();
    return;
  }
  if (infoAlert_) return;  // already signing
  auto* info = new ui::InfoAlertViewController(this);
  infoAlert_ = info;
  ui::ModalOverlay::cover(info, this);
  info->show();
  // The notice is on screen before the main thread gets busy signing.
  QTimer::singleShot(500, this, [this] { runSigningEngine(); });
}

void PenvoraSDKSignatureViewController::requestCustomText() {
  if (customTextPrompt_) return;
  auto* prompt = new ui::CustomTextPrompt(this);
  connect(prompt, &ui::CustomTextPrompt::textAccepted, this, [this](const QString& text) {
    auto& texts = penvoraSDKParams->widget->widgetCustomText;
    texts = {PenvoraSDKWidgetCustomText(11, text.toStdString())};
    // The typed text takes the list's place, but the box must still say
    // why it holds no handwriting.
    if (confirmedWithoutDrawing_) texts.emplace_back(11, ui::localizedString("signed-without-drawing").toStdString());
    QTimer::singleShot(0, this, [this] { startSigning(false); });
  });
  customTextPrompt_ = prompt;
  prompt->show();
  prompt->textField()->setFocus();
}

void PenvoraSDKSignatureViewController::runSigningEngine() {
  if (reported_) return;
  reported_ = true;
  auto closeInfo = [this] {
    if (infoAlert_) ui::ModalOverlay::dismiss(infoAlert_);
  };
  if (penvoraSDKParams->extra->signatureMetadataMode) {
    const core::engine::SignatureMetadata metadata =
        core::engine::ESS::exportSignatureMetadata(*penvoraSDKParams, *essParams);
    closeInfo();
    dismissThen([success = successCallback, error = errorCallback, metadata] {
      if (metadata.imageFile && metadata.summary && metadata.protectedRecord) {
        if (success) success({}, metadata.imageFile->string(), metadata.summary, metadata.protectedRecord);
      } else if (error) {
        error(std::string(errortext::ErrorSigning));
      }
    });
    return;
  }
  const auto signedFiles = core::engine::ESS::signDocuments(*penvoraSDKParams, *essParams);
  closeInfo();
  std::vector<std::string> files;
  files.reserve(signedFiles.size());
  for (const auto& f : signedFiles) files.push_back(f.string());
  dismissThen([success = successCallback, error = errorCallback, files] {
    // Every failed signing comes back as an empty list.
    if (!files.empty()) {
      if (success) success(files, std::nullopt, std::nullopt, std::nullopt);
    } else if (error) {
      error(std::string(errortext::ErrorSigning));
    }
  });
}

void PenvoraSDKSignatureViewController::touchUpInsideRejectButton() {
  if (rejectDialog_) return;
  auto* dialog = new ui::RejectAlertViewController(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->delegate = this;
  rejectDialog_ = dialog;
  ui::ModalOverlay::cover(dialog, this);
  dialog->open();
}

void PenvoraSDKSignatureViewController::reject(const std::string& reason) {
  endWith([cb = rejectCallback, reason] {
    if (cb) cb(reason);
  });
}

void PenvoraSDKSignatureViewController::touchUpInsideBackButton() {
  endWith({});  // leaves without an outcome
}

void PenvoraSDKSignatureViewController::touchUpInsideShareButton() {
  if (shownPath_.isEmpty()) return;
  if (shareAction) {
    shareAction(shownPath_);
    return;
  }
  // No share sheet here: the user saves a copy where they like. The dialog
  // opens without a loop of its own: a host may close the screen meanwhile,
  // and the dialog then goes with it.
  auto* dialog =
      new QFileDialog(this, ui::localizedString("share"), QDir::home().filePath(QFileInfo(shownPath_).fileName()),
                      QStringLiteral("PDF (*.pdf)"));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& target) { saveCopyTo(target); });
  dialog->open();
}

void PenvoraSDKSignatureViewController::saveCopyTo(const QString& target) const {
  if (target.isEmpty() || target == shownPath_) return;
  // Written aside and renamed over: a failed copy leaves a file that was
  // already there as it was.
  QFile in(shownPath_);
  QSaveFile out(target);
  bool copied = in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly);
  while (copied && !in.atEnd()) {
    const QByteArray chunk = in.read(1 << 20);
    copied = !chunk.isEmpty() && out.write(chunk) == chunk.size();
  }
  if (!copied || !out.commit()) penvora::log("Could not share the document to " + target.toStdString());
}

}  // namespace penvora::qt::document
