// Manual placement: the box in the middle of the current page, its three
// controls, dragging (also onto another page of the same rotation),
// resizing with a fixed aspect ratio, and turning the box into the signing
// inputs.
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QSequentialAnimationGroup>
#include <QToolButton>
#include <algorithm>

#include "core/document/ManualPlacementGeometry.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/document/SignaturePlacement.hpp"
#include "qt/ui/PanelFonts.hpp"
#include "ui_PenvoraSDKSignatureViewController.h"

namespace penvora::qt::document {
namespace {

QRectF qrect(const Rect& r) { return QRectF(r.x, r.y, r.width, r.height); }

// Creates (create mode) or moves the icon at its corner of the box.
template <class Annotation>
void placeIconAt(std::shared_ptr<Annotation>& stored, core::document::Icon which,
                 const ImageSignaturePDFAnnotation* sig, bool create, int rotation,
                 const std::function<void(std::shared_ptr<PageOverlay>)>& add) {
  if (!sig) return;
  if (create) {
    stored = std::make_shared<Annotation>();
    stored->rotationDegrees = rotation;
    stored->bounds = core::document::iconBounds(which, sig->bounds, rotation);
    add(stored);
  } else if (stored) {
    stored->bounds = core::document::iconBounds(which, sig->bounds, rotation);
  }
}

}  // namespace

// The viewer has every page's rotation and crop box at hand.
int PenvoraSDKSignatureViewController::pageRotation(int page) const { return ui_->pdfView->pageRotation(page); }

Rect PenvoraSDKSignatureViewController::cropBox(int page) const { return ui_->pdfView->pageCropBox(page); }

void PenvoraSDKSignatureViewController::addOverlay(int page, std::shared_ptr<PageOverlay> overlay) {
  auto list = ui_->pdfView->overlays(page);
  list.push_back(std::move(overlay));
  ui_->pdfView->setOverlays(page, list);
}

std::shared_ptr<PlacementAnnotation> PenvoraSDKSignatureViewController::annotationAt(int page, const QPointF& p) const {
  const auto& list = ui_->pdfView->overlays(page);
  // The one drawn last is on top.
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (auto a = std::dynamic_pointer_cast<PlacementAnnotation>(*it); a && a->contains(p.x(), p.y())) return a;
  return nullptr;
}

void PenvoraSDKSignatureViewController::addSignatureAnnotation(const QImage& image) {
  const int page = ui_->pdfView->currentPage();
  if (page < 0 || !document_) return;
  const int rotation = pageRotation(page);
  auto sig = std::make_shared<ImageSignaturePDFAnnotation>();
  sig->bounds = core::document::initialBox(cropBox(page), rotation, placement().signatureRatio());
  sig->image = image;
  sig->rotationDegrees = rotation;
  imageSignatureAnnotation = sig;
  signaturePage_ = page;
  addOverlay(page, sig);
  ui_->pdfView->goToRect(qrect(sig->bounds), page);
  placeCloseIcon(true, rotation);
  placeAcceptIcon(true, rotation);
  placeExpandIcon(true, rotation);
  // The keys move the box from the viewer, where the focus goes.
  ui_->pdfView->setFocus(Qt::OtherFocusReason);
}

void PenvoraSDKSignatureViewController::placeCloseIcon(bool create, int rotation) {
  placeIconAt(imageCloseAnnotation, core::document::Icon::close, imageSignatureAnnotation.get(), create, rotation,
              [this](auto o) { addOverlay(signaturePage_, std::move(o)); });
  ui_->pdfView->viewport()->update();
  placeIconControls();
}

void PenvoraSDKSignatureViewController::placeAcceptIcon(bool create, int rotation) {
  placeIconAt(imageAcceptAnnotation, core::document::Icon::accept, imageSignatureAnnotation.get(), create, rotation,
              [this](auto o) { addOverlay(signaturePage_, std::move(o)); });
  ui_->pdfView->viewport()->update();
  placeIconControls();
}

void PenvoraSDKSignatureViewController::placeExpandIcon(bool create, int rotation) {
  placeIconAt(imageExpandAnnotation, core::document::Icon::expand, imageSignatureAnnotation.get(), create, rotation,
              [this](auto o) { addOverlay(signaturePage_, std::move(o)); });
  ui_->pdfView->viewport()->update();
  placeIconControls();
}

bool PenvoraSDKSignatureViewController::eventFilter(QObject* watched, QEvent* event) {
  // The box's keys, on the viewer or one of the box's controls.
  if (event->type() == QEvent::KeyPress && watched != ui_->pdfView->viewport() &&
      (watched == ui_->pdfView || qobject_cast<QToolButton*>(watched)) && placementKey(static_cast<QKeyEvent*>(event)))
    return true;
  if (watched != ui_->pdfView->viewport()) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::Resize) placeIconControls();
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() != Qt::LeftButton) break;
      pressedAt_ = e->position();
      dragging_ = false;
      break;
    }
    case QEvent::MouseMove: {
      if (!pressedAt_) break;
      auto* e = static_cast<QMouseEvent*>(event);
      if (!dragging_) {
        if ((e->position() - *pressedAt_).manhattanLength() < QApplication::startDragDistance()) break;
        dragging_ = true;
        panned(QEvent::MouseButtonPress, *pressedAt_);  // the drag begins where the finger went down
      }
      panned(QEvent::MouseMove, e->position());
      if (isSelectedSignAnnotation || isSelectedExpandAnnotation) return true;
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (!pressedAt_ || e->button() != Qt::LeftButton) break;
      if (dragging_) {
        panned(QEvent::MouseButtonRelease, e->position());
      } else {
        tapped(e->position());
      }
      pressedAt_.reset();
      dragging_ = false;
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void PenvoraSDKSignatureViewController::tapped(const QPointF& viewPoint) {
  const int page = ui_->pdfView->pageForPoint(viewPoint, true);
  if (page < 0) return;
  const auto a = annotationAt(page, ui_->pdfView->convertToPage(viewPoint, page));
  if (!a) return;
  if (a == imageCloseAnnotation) {
    touchUpInsideCancelButton();
  } else if (a == imageAcceptAnnotation) {
    touchUpInsideAcceptButton();
  }
}

void PenvoraSDKSignatureViewController::panned(QEvent::Type type, const QPointF& viewPoint) {
  const int page = ui_->pdfView->pageForPoint(viewPoint, true);
  if (page < 0) return;
  const QPointF p = ui_->pdfView->convertToPage(viewPoint, page);
  if (type == QEvent::MouseButtonPress) {
    const auto a = annotationAt(page, p);
    if (a && a == imageSignatureAnnotation) {
      isSelectedSignAnnotation = true;
    } else if (a && a == imageExpandAnnotation && imageSignatureAnnotation) {
      // Where the finger holds the handle, relative to the box's corner, so
      // the corner keeps that distance from the finger while resizing.
      const auto corner =
          core::document::expandHandleCorner(imageSignatureAnnotation->bounds, pageRotation(page), cropBox(page));
      touchStart = QPointF(corner.x, corner.y) - p;
      isSelectedExpandAnnotation = true;
    }
  } else if (type == QEvent::MouseMove) {
    if (isSelectedSignAnnotation) {
      moveSignature(page, viewPoint);
      // The icons follow the box on the page it is on.
      const int rotation = pageRotation(signaturePage_);
      placeCloseIcon(false, rotation);
      placeAcceptIcon(false, rotation);
      placeExpandIcon(false, rotation);
      autoScroll(viewPoint.y());
    } else if (isSelectedExpandAnnotation && page == signaturePage_) {
      resizeSignature(viewPoint);
      const int rotation = pageRotation(page);
      placeCloseIcon(false, rotation);
      placeAcceptIcon(false, rotation);
      placeExpandIcon(false, rotation);
    }
  } else {
    isSelectedSignAnnotation = false;
    isSelectedExpandAnnotation = false;
  }
}

void PenvoraSDKSignatureViewController::moveSignature(int page, const QPointF& viewPoint) {
  auto sig = imageSignatureAnnotation;
  if (!sig || signaturePage_ < 0) return;
  const Rect crop = cropBox(page);
  const QPointF p = ui_->pdfView->convertToPage(viewPoint, page);
  const Rect moved = core::document::movedBox(sig->bounds, {p.x(), p.y()}, crop);
  if (pageRotation(page) != pageRotation(signaturePage_)) {
    showToast(QStringLiteral("No es posible mover la firma entre estas páginas"), 4);
    return;
  }
  sig->bounds = moved;
  if (page != signaturePage_) {
    removePlacementAnnotations();
    signaturePage_ = page;
    addOverlay(page, sig);
    const int rotation = pageRotation(page);
    placeCloseIcon(true, rotation);
    placeAcceptIcon(true, rotation);
    placeExpandIcon(true, rotation);
  }
  ui_->pdfView->viewport()->update();
}

void PenvoraSDKSignatureViewController::resizeSignature(const QPointF& t) {
  auto sig = imageSignatureAnnotation;
  if (!sig || signaturePage_ < 0) return;
  // The handle follows the finger: the finger is taken in page space.
  const QPointF finger = ui_->pdfView->convertToPage(t, signaturePage_) + touchStart;
  sig->bounds = core::document::resizedToHandle(sig->bounds, pageRotation(signaturePage_), placement().signatureRatio(),
                                                {finger.x(), finger.y()}, cropBox(signaturePage_));
  ui_->pdfView->viewport()->update();
}

void PenvoraSDKSignatureViewController::autoScroll(double y) {
  auto* view = ui_->pdfView;
  const QPoint o = view->scrollOffset();
  const double height = view->viewport()->height();
  const double content = view->verticalScrollBar()->maximum() + height;
  if (const auto next = core::document::autoScrollOffset(y, o.y(), height, o.y() + height, content))
    view->setScrollOffset(QPoint(o.x(), static_cast<int>(*next)));
}

void PenvoraSDKSignatureViewController::removePlacementAnnotations() {
  auto* view = ui_->pdfView;
  for (int page = 0; page < view->pageCount(); ++page) {
    auto list = view->overlays(page);
    const auto before = list.size();
    std::erase_if(list, [](const auto& o) { return std::dynamic_pointer_cast<PlacementAnnotation>(o) != nullptr; });
    if (list.size() != before) view->setOverlays(page, list);
  }
  signaturePage_ = -1;  // the box is on no page any more
  view->viewport()->update();
  placeIconControls();
}

void PenvoraSDKSignatureViewController::touchUpInsideAcceptButton() {
  auto sig = imageSignatureAnnotation;
  if (!sig || signaturePage_ < 0 || !document_) return;
  essParams->jpgB64 = SignaturePlacement::renderSignatureJPEG(sig->image);
  essParams->bounds = core::document::acceptedBounds(sig->bounds);
  essParams->page = signaturePage_ + 1;
  startSigning(true);
}

void PenvoraSDKSignatureViewController::rotated() {
  if (imageSignatureAnnotation && signaturePage_ >= 0)
    ui_->pdfView->goToRect(qrect(imageSignatureAnnotation->bounds), signaturePage_);
}

void PenvoraSDKSignatureViewController::showToast(const QString& text, double seconds) {
  if (toast_) toast_->deleteLater();
  auto* label = new QLabel(text, this);
  label->setObjectName(QStringLiteral("toast"));
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  // Dark enough that white text keeps 4.5:1 over a white page.
  label->setStyleSheet(QStringLiteral("background: rgba(0,0,0,200); color: white; border-radius: 10px; padding: 8px;"));
  label->setFont(ui::namedFont(QStringLiteral("Asap-Regular"), 14));
  // Above the button bar, never over it.
  const int labelWidth = std::min(width() - 32, 420);
  const int labelHeight = std::max(35, label->heightForWidth(labelWidth));
  int bottom = height() - 24;
  for (QWidget* bar : {static_cast<QWidget*>(ui_->stackViewConfirmButtons), static_cast<QWidget*>(ui_->signButton)})
    if (bar->isVisible()) bottom = std::min(bottom, bar->mapTo(this, QPoint(0, 0)).y() - 16);
  label->setGeometry((width() - labelWidth) / 2, bottom - labelHeight, labelWidth, labelHeight);
  auto* effect = new QGraphicsOpacityEffect(label);
  effect->setOpacity(1.0);
  label->setGraphicsEffect(effect);
  label->show();
  label->raise();
  toast_ = label;
  auto* fade = new QSequentialAnimationGroup(label);
  fade->addPause(100);
  auto* out = new QPropertyAnimation(effect, "opacity");
  out->setDuration(static_cast<int>(seconds * 1000));
  out->setStartValue(1.0);
  out->setEndValue(0.0);
  out->setEasingCurve(QEasingCurve::OutCurve);
  fade->addAnimation(out);
  connect(fade, &QAbstractAnimation::finished, label, &QObject::deleteLater);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace penvora::qt::document
