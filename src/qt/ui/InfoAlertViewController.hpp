#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class InfoAlertViewController;
}

namespace penvora::qt::ui {

// The notice shown while a signature is being applied; nothing to press.
class InfoAlertViewController : public QDialog {
  Q_OBJECT
 public:
  explicit InfoAlertViewController(QWidget* parent = nullptr);
  ~InfoAlertViewController() override;
  QWidget* viewContainer() const;
  // Nothing the user does ends the notice (Escape included); the signing
  // step takes it down.
  void reject() override {}

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<Ui::InfoAlertViewController> ui_;
};

}  // namespace penvora::qt::ui
