#include "qt/ui/CustomTextPrompt.hpp"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt/ui/Accessibility.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/PanelFonts.hpp"

namespace penvora::qt::ui {

CustomTextPrompt::CustomTextPrompt(QWidget* host)
    : QWidget(host),
      field_(new QLineEdit),
      accept_(new QPushButton(localizedString("Accept"))),
      cancel_(new QPushButton(localizedString("Cancel"))) {
  setObjectName(QStringLiteral("customTextPrompt"));
  setAttribute(Qt::WA_StyledBackground);
  // The card is light in either scheme, as the other panels are.
  setStyleSheet(
      QStringLiteral(
          "#customTextPrompt { background: rgba(0, 0, 0, 110); }"
          "#card { background: #FFFFFF; border-radius: 10px; }"
          "#card QLabel { color: #1C1C1E; }"
          "#card QLineEdit { background: #FFFFFF; color: #1C1C1E; border: 1px solid #8E8E93; border-radius: 6px;"
          " padding: 0 8px; }"
          "#card QPushButton { background: #E5E5EA; color: #1C1C1E; border: none; border-radius: 8px; }"
          "#card QPushButton#acceptButton { background: #0057A2; color: #FFFFFF; }") +
      focusRing(QLatin1String(kFocusOnLight)));
  auto* card = new QFrame;
  card->setObjectName(QStringLiteral("card"));
  card->setMinimumWidth(440);
  card->setMaximumWidth(520);
  auto* heading = new QLabel(localizedString("AddSignatureText"));
  heading->setFont(panelFont(QStringLiteral("Exo2-Medium"), TextStyle::title3));
  auto* message = new QLabel(localizedString("AddSignatureTextMessage"));
  message->setWordWrap(true);
  field_->setObjectName(QStringLiteral("customTextField"));
  field_->setPlaceholderText(localizedString("EnterSignatureText"));
  field_->setMinimumHeight(44);
  accept_->setObjectName(QStringLiteral("acceptButton"));
  cancel_->setObjectName(QStringLiteral("cancelButton"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cancel_);
  buttons->addWidget(accept_);
  auto* column = new QVBoxLayout(card);
  column->setContentsMargins(20, 20, 20, 20);
  column->setSpacing(14);
  column->addWidget(heading);
  column->addWidget(message);
  column->addWidget(field_);
  column->addLayout(buttons);
  (new QGridLayout(this))->addWidget(card, 0, 0, Qt::AlignCenter);

  nameForAccessibility(field_, "a11y_signature_text", "AddSignatureTextMessage");
  setAccessibleName(localizedString("AddSignatureText"));
  ModalOverlay::setKeyButtons(this, accept_, cancel_);
  connect(field_, &QLineEdit::returnPressed, this, [this] { finish(true); });
  connect(accept_, &QPushButton::clicked, this, [this] { finish(true); });
  connect(cancel_, &QPushButton::clicked, this, [this] { finish(false); });
  ModalOverlay::cover(this, host);
}

void CustomTextPrompt::finish(bool accepted) {
  if (accepted) emit textAccepted(field_->text());
  ModalOverlay::dismiss(this);
}

}  // namespace penvora::qt::ui
