#include "qt/ui/InfoAlertViewController.hpp"

#include "qt/ui/FontRegistration.hpp"
#include "qt/ui/Localization.hpp"
#include "ui_InfoAlertViewController.h"

namespace penvora::qt::ui {

InfoAlertViewController::InfoAlertViewController(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::InfoAlertViewController>()) {
  ui_->setupUi(this);
  registerFontsIfNeeded();
  setModal(true);
  setWindowFlag(Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);  // the document stays visible around the panel
  ui_->messageLabel->setText(localizedString("signing_document"));
}

InfoAlertViewController::~InfoAlertViewController() = default;

QWidget* InfoAlertViewController::viewContainer() const { return ui_->viewContainer; }

}  // namespace penvora::qt::ui
