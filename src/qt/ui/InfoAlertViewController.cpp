#include "qt/ui/InfoAlertViewController.hpp"

#include <QLayout>
#include <QPainter>

#include "qt/ui/FontRegistration.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/XIBLocalizable.hpp"
#include "ui_InfoAlertViewController.h"

namespace penvora::qt::ui {

InfoAlertViewController::InfoAlertViewController(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::InfoAlertViewController>()) {
  ui_->setupUi(this);
  registerFontsIfNeeded();
  setModal(true);
  setWindowFlag(Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);  // the document stays visible around the panel
  XIBLocalizable::applyXibLocKeys(this);
  layout()->setAlignment(ui_->viewContainer, Qt::AlignCenter);  // the card keeps its size over a whole screen
  ui_->viewContainer->setMinimumWidth(300);
}

InfoAlertViewController::~InfoAlertViewController() = default;

QWidget* InfoAlertViewController::viewContainer() const { return ui_->viewContainer; }

void InfoAlertViewController::paintEvent(QPaintEvent*) {
  if (!isWindow()) QPainter(this).fillRect(rect(), QColor(0, 0, 0, 84));  // over the document: a veil
}

}  // namespace penvora::qt::ui
