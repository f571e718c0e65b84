#pragma once
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace penvora::qt::ui {

// Asks for the text written under the signature: a card on a dimmed
// backdrop that covers the screen (no window of its own: a kiosk has no
// window manager to place one). Return in the field accepts, as Accept
// does; Cancel gives up. Either way the prompt deletes itself.
class CustomTextPrompt : public QWidget {
  Q_OBJECT
 public:
  explicit CustomTextPrompt(QWidget* host);

  QLineEdit* textField() const { return field_; }
  QPushButton* acceptButton() const { return accept_; }
  QPushButton* cancelButton() const { return cancel_; }

 signals:
  void textAccepted(const QString& text);

 private:
  void finish(bool accepted);

  QLineEdit* field_;
  QPushButton* accept_;
  QPushButton* cancel_;
};

}  // namespace penvora::qt::ui
