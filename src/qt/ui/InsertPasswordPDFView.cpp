#include "qt/ui/InsertPasswordPDFView.hpp"

#include "qt/ui/Accessibility.hpp"
#include "qt/ui/FontRegistration.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/PanelFonts.hpp"
#include "qt/ui/QtColor.hpp"
#include "qt/ui/XIBLocalizable.hpp"
#include "ui_InsertPasswordPDFView.h"

namespace penvora::qt::ui {

InsertPasswordPDFView::InsertPasswordPDFView(AcceptAction acceptAction, DismissAction dismissAction, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::InsertPasswordPDFView>()),
      acceptAction_(std::move(acceptAction)),
      dismissAction_(std::move(dismissAction)) {
  ui_->setupUi(this);
  XIBLocalizable::applyXibLocKeys(this);
  registerFontsIfNeeded();
  setAttribute(Qt::WA_TranslucentBackground);
  const QFont titleFont = panelFont(QStringLiteral("Exo2-Medium"), TextStyle::title2);
  ui_->panel->setAutoFillBackground(true);
  QPalette pal = ui_->panel->palette();
  pal.setColor(QPalette::Window, namedColor(QStringLiteral("LightGrayColor")));
  ui_->panel->setPalette(pal);
  ui_->closeButton->setFont(titleFont);
  ui_->closeButton->setMinimumSize(44, 44);  // a finger's target
  ui_->closeButton->setStyleSheet(QStringLiteral("color: %1;").arg(namedColor(QStringLiteral("AccentColor")).name()));
  ui_->titleLabel->setFont(titleFont);
  ui_->passwordField->setFont(titleFont);
  ui_->passwordField->setPlaceholderText(localizedString("password"));
  ui_->cancelButton->setFont(titleFont);
  ui_->acceptButton->setFont(titleFont);
  for (QPushButton* b : {ui_->cancelButton, ui_->acceptButton})
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  nameForAccessibility(ui_->closeButton, "a11y_close");  // not the glyph
  nameForAccessibility(ui_->passwordField, "a11y_password_field", "insert-password");
  setAccessibleName(localizedString("insert-password"));
  // Return in the field does nothing (a half-typed password is not tried);
  // on a focused button it presses that button.
  ModalOverlay::setKeyButtons(this, nullptr, ui_->cancelButton);
  ui_->panel->setStyleSheet(focusRing(QLatin1String(kFocusOnLight)));

  const auto dismiss = [this] {
    if (dismissAction_) dismissAction_();
  };
  connect(ui_->closeButton, &QAbstractButton::clicked, this, dismiss);
  connect(ui_->cancelButton, &QPushButton::clicked, this, dismiss);
  connect(ui_->acceptButton, &QPushButton::clicked, this, [this] {
    if (acceptAction_) acceptAction_(password());
  });
}

InsertPasswordPDFView::~InsertPasswordPDFView() = default;

void InsertPasswordPDFView::showProblem(const QString& text) {
  ui_->problemLabel->setText(text);
  ui_->problemLabel->setVisible(!text.isEmpty());
  if (!text.isEmpty()) announce(ui_->passwordField, text);
}

QString InsertPasswordPDFView::problem() const {
  return ui_->problemLabel->isVisible() ? ui_->problemLabel->text() : QString();
}

std::string InsertPasswordPDFView::password() const { return ui_->passwordField->text().toStdString(); }
QLineEdit* InsertPasswordPDFView::passwordField() const { return ui_->passwordField; }
QAbstractButton* InsertPasswordPDFView::closeButton() const { return ui_->closeButton; }
QPushButton* InsertPasswordPDFView::cancelButton() const { return ui_->cancelButton; }
QPushButton* InsertPasswordPDFView::acceptButton() const { return ui_->acceptButton; }

}  // namespace penvora::qt::ui
