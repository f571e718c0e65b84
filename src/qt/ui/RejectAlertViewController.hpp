#pragma once
#include <QDialog>
#include <memory>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace Ui {
class RejectAlertViewController;
}

namespace penvora::qt::ui {

// Receives a confirmed rejection; the document view implements it.
class RejectAlertProtocol {
 public:
  virtual ~RejectAlertProtocol() = default;
  virtual void reject(const std::string& reason) = 0;
};

// Asks for the reason of a rejection: at least four characters (as a
// reader counts them, spaces included) and not blanks alone; Tab moves on
// to the buttons; return closes the keyboard
// instead of breaking the line.
class RejectAlertViewController : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMinimumReasonLength = 4;

  explicit RejectAlertViewController(QWidget* parent = nullptr);
  ~RejectAlertViewController() override;

  // Not owned; the presenter sets itself and outlives the dialog.
  RejectAlertProtocol* delegate = nullptr;

  QWidget* viewContainer() const;
  QPushButton* positiveButton() const;
  QPushButton* negativeButton() const;
  QPlainTextEdit* rejectTextView() const;
  QLabel* errorLabel() const;

  // Characters as the user perceives them (grapheme clusters).
  static int perceivedLength(const QString& text);

  void touchUpInsidePositiveButton();
  void touchUpInsideNegativeButton();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<Ui::RejectAlertViewController> ui_;
};

}  // namespace penvora::qt::ui
