#include "qt/ui/RejectAlertViewController.hpp"

#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QTextBoundaryFinder>

#include "qt/ui/Accessibility.hpp"
#include "qt/ui/FontRegistration.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/XIBLocalizable.hpp"
#include "ui_RejectAlertViewController.h"

namespace penvora::qt::ui {

RejectAlertViewController::RejectAlertViewController(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::RejectAlertViewController>()) {
  ui_->setupUi(this);
  registerFontsIfNeeded();
  setModal(true);
  setWindowFlag(Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);
  XIBLocalizable::applyXibLocKeys(this);
  ui_->rejectTextView->setPlaceholderText(localizedString("reject_reason_placeholder"));
  ui_->errorLabel->hide();
  ui_->rejectTextView->installEventFilter(this);
  // Tab goes on to the buttons: a reason is typed, never indented.
  ui_->rejectTextView->setTabChangesFocus(true);
  nameForAccessibility(ui_->rejectTextView, "a11y_reject_reason", "reject_reason_placeholder");
  setAccessibleName(localizedString("reject_title"));
  ModalOverlay::setKeyButtons(this, ui_->positiveButton, ui_->negativeButton);
  ui_->viewContainer->setStyleSheet(
      ui_->viewContainer->styleSheet() + focusRing(QLatin1String(kFocusOnLight)) +
      QStringLiteral("#positiveButton:focus { border: 3px solid %1; }").arg(QLatin1String(kFocusOnAccent)));
  // Over a whole screen the card keeps its size, centred.
  layout()->setAlignment(ui_->viewContainer, Qt::AlignCenter);
  ui_->viewContainer->setMinimumWidth(380);
  connect(ui_->positiveButton, &QPushButton::clicked, this, &RejectAlertViewController::touchUpInsidePositiveButton);
  connect(ui_->negativeButton, &QPushButton::clicked, this, &RejectAlertViewController::touchUpInsideNegativeButton);
}

RejectAlertViewController::~RejectAlertViewController() = default;

QWidget* RejectAlertViewController::viewContainer() const { return ui_->viewContainer; }
QPushButton* RejectAlertViewController::positiveButton() const { return ui_->positiveButton; }
QPushButton* RejectAlertViewController::negativeButton() const { return ui_->negativeButton; }
QPlainTextEdit* RejectAlertViewController::rejectTextView() const { return ui_->rejectTextView; }
QLabel* RejectAlertViewController::errorLabel() const { return ui_->errorLabel; }

int RejectAlertViewController::perceivedLength(const QString& text) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  int count = 0;
  while (finder.toNextBoundary() != -1) ++count;
  return count;
}

void RejectAlertViewController::touchUpInsidePositiveButton() {
  // Every character counts, blanks too: what the signer typed is theirs to say.
  const QString reason = ui_->rejectTextView->toPlainText();
  if (perceivedLength(reason) < kMinimumReasonLength) {
    ui_->errorLabel->show();
    // Said at once to a reader, and the field is where it is mended.
    announce(ui_->rejectTextView, ui_->errorLabel->text());
    ui_->rejectTextView->setFocus(Qt::OtherFocusReason);
    return;
  }
  ui_->errorLabel->hide();
  accept();
  // Once the dialog is gone: the text as it is now.
  if (delegate) delegate->reject(ui_->rejectTextView->toPlainText().toStdString());
}

void RejectAlertViewController::touchUpInsideNegativeButton() { reject(); }

void RejectAlertViewController::paintEvent(QPaintEvent*) {
  // Laid over the document (not a window of its own): a veil sets it off.
  if (!isWindow()) QPainter(this).fillRect(rect(), QColor(0, 0, 0, 84));
}

bool RejectAlertViewController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->rejectTextView && event->type() == QEvent::KeyPress) {
    const auto key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // The keyboard closes; a keyboard user goes on to Reject.
      ui_->rejectTextView->clearFocus();
      ui_->positiveButton->setFocus(Qt::OtherFocusReason);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace penvora::qt::ui
