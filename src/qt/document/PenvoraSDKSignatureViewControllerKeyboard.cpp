// The signing screen for assistive technology and the keyboard: names of
// its controls, the shown page's text, Return and Escape, and the manual
// box moved and resized with keys through the drag's own arithmetic, its
// three icons as focusable buttons.
#include <QAccessible>
#include <QKeyEvent>
#include <QLineF>
#include <QScrollBar>
#include <QToolButton>

#include "core/document/ManualPlacementGeometry.hpp"
#include "qt/document/PDFTextSearch.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/document/SignaturePlacement.hpp"
#include "qt/ui/Accessibility.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "ui_PenvoraSDKSignatureViewController.h"

namespace penvora::qt::document {
namespace {

// An icon's stand-in: invisible over the painted icon (the mouse goes
// through to the viewer, which drags), visible only as the focus ring.
QToolButton* iconControl(QWidget* viewport, const char* nameKey, const char* descriptionKey) {
  auto* b = new QToolButton(viewport);
  b->setAttribute(Qt::WA_TransparentForMouseEvents);
  b->setFocusPolicy(Qt::TabFocus);
  b->setStyleSheet(QStringLiteral("QToolButton { background: transparent; border: none; min-height: 0; }"
                                  "QToolButton:focus { border: 3px solid %1; border-radius: 4px; }")
                       .arg(QLatin1String(ui::kFocusOnLight)));
  ui::nameForAccessibility(b, nameKey, descriptionKey);
  b->hide();
  return b;
}

}  // namespace

void PenvoraSDKSignatureViewController::setUpAccessibility() {
  ui::nameForAccessibility(this, "a11y_signing_screen", "a11y_signing_screen_description");
  auto* view = ui_->pdfView;
  view->setFocusPolicy(Qt::StrongFocus);
  ui::nameForAccessibility(view, "a11y_document", "a11y_document_description");
  for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()})
    ui::nameForAccessibility(bar, "a11y_scroll_bar");
  ui_->backButton->setAccessibleName(ui::localizedString("back"));  // without the chevron
  ui::nameForAccessibility(ui_->signingActivityIndicator, "a11y_signing_progress");
  view->installEventFilter(this);
  view->setPageTextSource([this](int page) { return text_ ? text_->pageText(page) : QString(); });

  closeControl_ = iconControl(view->viewport(), "a11y_remove_signature", nullptr);
  acceptControl_ = iconControl(view->viewport(), "a11y_accept_signature", "a11y_signature_box_description");
  expandControl_ = iconControl(view->viewport(), "a11y_resize_signature", "a11y_resize_signature_description");
  connect(closeControl_, &QToolButton::clicked, this, [this] { touchUpInsideCancelButton(); });
  connect(acceptControl_, &QToolButton::clicked, this, [this] { touchUpInsideAcceptButton(); });
  connect(expandControl_, &QToolButton::clicked, this, [this] { resizeSignatureBy(kKeyStep); });
  for (QToolButton* b : {closeControl_, acceptControl_, expandControl_}) b->installEventFilter(this);
  // Scrolling moves the icons under their stand-ins.
  for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()})
    connect(bar, &QScrollBar::valueChanged, this, [this] { placeIconControls(); });
}

void PenvoraSDKSignatureViewController::announcePage() {
  const int page = ui_->pdfView->currentPage();
  if (page < 0 || page == announcedPage_ || !text_) return;
  // Read once the page is drawn (pageDrawn asks again): reading its text
  // loads the page in the renderer under the renderer's lock, which held
  // up the document's first picture by some 3 ms of 20.
  if (!ui_->pdfView->hasPicture(page)) return;
  announcedPage_ = page;
  // The page's text for a reader who cannot see it, read when it is shown.
  const QString number = QString::number(page + 1), total = QString::number(ui_->pdfView->pageCount());
  const QString text = text_->pageText(page).simplified();
  ui::announce(ui_->pdfView, text.isEmpty() ? ui::localizedString("a11y_page_no_text").arg(number, total)
                                            : ui::localizedString("a11y_page_text").arg(number, total, text));
}

void PenvoraSDKSignatureViewController::placeIconControls() {
  const bool shown = signaturePage_ >= 0 && imageSignatureAnnotation;
  const std::pair<QToolButton*, PlacementAnnotation*> pairs[] = {{closeControl_, imageCloseAnnotation.get()},
                                                                 {acceptControl_, imageAcceptAnnotation.get()},
                                                                 {expandControl_, imageExpandAnnotation.get()}};
  for (const auto& [control, icon] : pairs) {
    if (!control) continue;
    if (!shown || !icon) {
      control->hide();
      continue;
    }
    const Rect& b = icon->bounds;
    control->setGeometry(
        ui_->pdfView->convertRectFromPage(QRectF(b.x, b.y, b.width, b.height), signaturePage_).toAlignedRect());
    control->show();
  }
}

void PenvoraSDKSignatureViewController::iconsFollowBox() {
  const int rotation = pageRotation(signaturePage_);
  placeCloseIcon(false, rotation);
  placeAcceptIcon(false, rotation);
  placeExpandIcon(false, rotation);
}

void PenvoraSDKSignatureViewController::moveSignatureBy(const QPointF& shown) {
  auto sig = imageSignatureAnnotation;
  if (!sig || signaturePage_ < 0) return;
  auto* view = ui_->pdfView;
  // As if a finger held the box's centre and moved that far on screen.
  const Rect& b = sig->bounds;
  const QPointF centre(b.x + b.width / 2, b.y + b.height / 2);
  const QPointF at = view->convertFromPage(centre, signaturePage_);
  const double perPoint = QLineF(at, view->convertFromPage(centre + QPointF(1, 0), signaturePage_)).length();
  const QPointF to = at + shown * perPoint;
  moveSignature(signaturePage_, to);
  iconsFollowBox();
  autoScroll(to.y());
}

void PenvoraSDKSignatureViewController::resizeSignatureBy(double shownHeight) {
  auto sig = imageSignatureAnnotation;
  if (!sig || signaturePage_ < 0) return;
  auto* view = ui_->pdfView;
  // As if a finger held the expand handle exactly and moved it.
  const int rotation = pageRotation(signaturePage_);
  const auto c = core::document::expandHandleCorner(sig->bounds, rotation, cropBox(signaturePage_));
  const QPointF corner(c.x, c.y);
  const QPointF at = view->convertFromPage(corner, signaturePage_);
  const double perPoint = QLineF(at, view->convertFromPage(corner + QPointF(1, 0), signaturePage_)).length();
  const double ratio = placement().signatureRatio();
  touchStart = QPointF();
  resizeSignature(at + QPointF(shownHeight * ratio, shownHeight) * perPoint);
  iconsFollowBox();
}

bool PenvoraSDKSignatureViewController::placementKey(QKeyEvent* event) {
  if (signaturePage_ < 0 || !imageSignatureAnnotation) return false;
  const double step = (event->modifiers() & Qt::ShiftModifier) ? kKeyLargeStep : kKeyStep;
  switch (event->key()) {
    case Qt::Key_Left:
      moveSignatureBy({-step, 0});
      return true;
    case Qt::Key_Right:
      moveSignatureBy({step, 0});
      return true;
    case Qt::Key_Up:
      moveSignatureBy({0, -step});
      return true;
    case Qt::Key_Down:
      moveSignatureBy({0, step});
      return true;
    // Shift is how most layouts type +: the size always steps by kKeyStep.
    case Qt::Key_Plus:
    case Qt::Key_Equal:  // + without Shift
      resizeSignatureBy(kKeyStep);
      return true;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      resizeSignatureBy(-kKeyStep);
      return true;
    default:
      return false;
  }
}

void PenvoraSDKSignatureViewController::keyPressEvent(QKeyEvent* event) {
  // Keys of a panel over the screen are the panel's.
  if (ui::ModalOverlay::topmostIn(window())) {
    QWidget::keyPressEvent(event);
    return;
  }
  const bool boxPlaced = signaturePage_ >= 0 && imageSignatureAnnotation;
  switch (event->key()) {
    case Qt::Key_Escape:
      if (boxPlaced)
        touchUpInsideCancelButton();
      else
        touchUpInsideBackButton();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // The focused button first (outside a dialog Qt's buttons take only
      // Space), then the placed box.
      if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()); button && button->isEnabled()) {
        button->click();
      } else if (boxPlaced) {
        touchUpInsideAcceptButton();
      }
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace penvora::qt::document
