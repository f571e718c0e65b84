#include "qt/ui/LoadingDocumentsView.hpp"

#include <QGraphicsDropShadowEffect>
#include <QPainter>

#include "qt/ui/PanelFonts.hpp"
#include "ui_LoadingDocumentsView.h"

namespace penvora::qt::ui {

LoadingDocumentsView::LoadingDocumentsView(const QString& text, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::LoadingDocumentsView>()) {
  ui_->setupUi(this);
  setAttribute(Qt::WA_TranslucentBackground);
  ui_->textLabel->setText(text);
  QFont headline = font();
  headline.setPixelSize(17);
  headline.setWeight(QFont::DemiBold);
  ui_->textLabel->setFont(headline);
  auto* shadow = new QGraphicsDropShadowEffect(ui_->card);
  shadow->setColor(QColor(0, 0, 0, 84));  // 0.33
  shadow->setBlurRadius(20);              // a radius of 10 either side
  shadow->setOffset(0, 0);
  ui_->card->setGraphicsEffect(shadow);
}

LoadingDocumentsView::~LoadingDocumentsView() = default;

QString LoadingDocumentsView::text() const { return ui_->textLabel->text(); }

void LoadingDocumentsView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0, 0, 0, 89));  // black at 0.35
  emit painted();
}

}  // namespace penvora::qt::ui
