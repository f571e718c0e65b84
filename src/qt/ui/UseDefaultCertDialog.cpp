#include "qt/ui/UseDefaultCertDialog.hpp"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "qt/ui/Accessibility.hpp"
#include "qt/ui/FontRegistration.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/PanelFonts.hpp"
#include "qt/ui/XIBLocalizable.hpp"
#include "ui_UseDefaultCertDialog.h"

namespace penvora::qt::ui {

QUrl UseDefaultCertDialog::defaultInformationUrl() {
  return QUrl(QStringLiteral("https://digital-strategy.ec.europa.eu/en/policies/eidas-regulation"));
}

UseDefaultCertDialog::UseDefaultCertDialog(Action onClose, Action onAccept, QUrl url, OpenUrl openUrl, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::UseDefaultCertDialog>()),
      onClose_(std::move(onClose)),
      onAccept_(std::move(onAccept)),
      url_(std::move(url)),
      openUrl_(openUrl ? std::move(openUrl) : OpenUrl([](const QUrl& u) { QDesktopServices::openUrl(u); })) {
  ui_->setupUi(this);
  XIBLocalizable::applyXibLocKeys(this);
  registerFontsIfNeeded();
  setAttribute(Qt::WA_TranslucentBackground);
  QFont heading = panelFont(QStringLiteral("Exo2-Medium"), TextStyle::title2);
  heading.setBold(true);
  ui_->headingLabel->setFont(heading);
  ui_->messageLabel->setFont(panelFont(QStringLiteral("Exo2-Regular"), TextStyle::body));
  ui_->messageLabel->setText(localizedString("document_will_get_signed_by_default_cert").toHtmlEscaped() +
                             QStringLiteral(" <b><u><span style=\"color:#0A64D6\">") +
                             localizedString("know_more").toHtmlEscaped() + QStringLiteral("</span></u></b>"));
  ui_->messageLabel->setCursor(Qt::PointingHandCursor);
  ui_->messageLabel->installEventFilter(this);
  // The link is a control of its own for the keyboard and a reader.
  ui_->messageLabel->setFocusPolicy(Qt::StrongFocus);
  ui_->messageLabel->setAccessibleName(localizedString("document_will_get_signed_by_default_cert") + ' ' +
                                       localizedString("know_more"));
  ui_->messageLabel->setAccessibleDescription(localizedString("a11y_learn_more"));
  nameForAccessibility(ui_->warningIcon, "a11y_warning");  // not the glyph
  setAccessibleName(localizedString("no_cert_selected"));
  ModalOverlay::setKeyButtons(this, ui_->acceptButton, ui_->cancelButton);
  setStyleSheet(focusRing(QLatin1String(kFocusOnLight)));
  const QFont body = panelFont(QStringLiteral("Exo2-Regular"), TextStyle::body);
  ui_->cancelButton->setFont(body);
  ui_->acceptButton->setFont(body);
  connect(ui_->cancelButton, &QPushButton::clicked, this, [this] {
    if (onClose_) onClose_();
  });
  connect(ui_->acceptButton, &QPushButton::clicked, this, [this] {
    if (onAccept_) onAccept_();
  });
}

UseDefaultCertDialog::~UseDefaultCertDialog() = default;

QLabel* UseDefaultCertDialog::messageLabel() const { return ui_->messageLabel; }
QPushButton* UseDefaultCertDialog::cancelButton() const { return ui_->cancelButton; }
QPushButton* UseDefaultCertDialog::acceptButton() const { return ui_->acceptButton; }

bool UseDefaultCertDialog::eventFilter(QObject* watched, QEvent* event) {
  // The whole message is the link, as one tap target.
  if (watched == ui_->messageLabel && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    openUrl_(url_);
    return true;
  }
  if (watched == ui_->messageLabel && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
      openUrl_(url_);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void UseDefaultCertDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0, 0, 0, 84));  // black at 0.33 sets the card off
}

}  // namespace penvora::qt::ui
