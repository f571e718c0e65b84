#include "qt/ui/ModalOverlay.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <algorithm>
#include <vector>

namespace penvora::qt::ui {
namespace {

// Overlays shown now, oldest first. Main thread only.
std::vector<ModalOverlay*>& openOverlays() {
  static std::vector<ModalOverlay*> list;
  return list;
}

bool isInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

// The controls of `overlay` that Tab visits, in the window's focus order.
std::vector<QWidget*> tabChain(QWidget* overlay) {
  std::vector<QWidget*> chain;
  int guard = 0;
  for (QWidget* w = overlay->nextInFocusChain(); w && w != overlay && ++guard < 100000; w = w->nextInFocusChain())
    if (overlay->isAncestorOf(w) && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
        !w->focusProxy())
      chain.push_back(w);
  return chain;
}

constexpr const char* kDefaultButton = "penvoraDefaultButton";
constexpr const char* kCancelButton = "penvoraCancelButton";

QAbstractButton* keyButton(const QWidget* overlay, const char* which) {
  auto* b = qobject_cast<QAbstractButton*>(overlay->property(which).value<QObject*>());
  return b && b->isVisible() && b->isEnabled() ? b : nullptr;
}

bool canTakeFocus(const QWidget* w) {
  // A control faded out refuses focus by its policy; one the mouse goes
  // through (a stand-in over a painted icon) may still have the keys.
  return w && w->isVisible() && w->isEnabled() && w->focusPolicy() != Qt::NoFocus;
}

}  // namespace

ModalOverlay* ModalOverlay::cover(QWidget* overlay, QWidget* host) {
  if (overlay->isWindow() || overlay->parentWidget() != host) overlay->setParent(host, Qt::Widget);
  return new ModalOverlay(overlay, host);
}

ModalOverlay::ModalOverlay(QWidget* overlay, QWidget* host) : QObject(overlay), overlay_(overlay), host_(host) {
  overlay_->installEventFilter(this);
  host_->installEventFilter(this);
  qApp->installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusChanged(now); });
  fit();
  if (overlay_->isVisible()) opened();
}

ModalOverlay::~ModalOverlay() {
  if (!open_) return;
  // The overlay is being destroyed: nothing of it may be touched now.
  auto& list = openOverlays();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if ((*it)->host_ == host_) {
      (*it)->focusFirst();
      return;
    }
  if (canTakeFocus(focusBefore_)) focusBefore_->setFocus(Qt::OtherFocusReason);
}

void ModalOverlay::dismiss(QWidget* overlay) {
  overlay->hide();
  overlay->deleteLater();
}

void ModalOverlay::setKeyButtons(QWidget* overlay, QAbstractButton* defaultButton, QAbstractButton* cancelButton) {
  overlay->setProperty(kDefaultButton, QVariant::fromValue<QObject*>(defaultButton));
  overlay->setProperty(kCancelButton, QVariant::fromValue<QObject*>(cancelButton));
}

bool ModalOverlay::keyButtonPressed(QWidget* target, int key) {
  QAbstractButton* button = nullptr;
  if (key == Qt::Key_Escape) {
    button = keyButton(overlay_, kCancelButton);
  } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (qobject_cast<QPlainTextEdit*>(target) || qobject_cast<QTextEdit*>(target) || qobject_cast<QLabel*>(target))
      return false;
    button = qobject_cast<QAbstractButton*>(target);
    if (!button || !button->isEnabled()) button = keyButton(overlay_, kDefaultButton);
  }
  if (!button) return false;
  button->click();
  return true;
}

QWidget* ModalOverlay::topmostIn(const QWidget* window) {
  const auto& list = openOverlays();
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if ((*it)->overlay_->window() == window) return (*it)->overlay_;
  return nullptr;
}

void ModalOverlay::fit() {
  if (host_ && overlay_->geometry() != host_->rect()) overlay_->setGeometry(host_->rect());
}

void ModalOverlay::opened() {
  if (open_) return;
  open_ = true;
  openOverlays().push_back(this);
  fit();
  overlay_->raise();
  QWidget* focus = overlay_->window()->focusWidget();
  if (focus && !inside(focus)) focusBefore_ = focus;
  if (!focus || !inside(focus)) focusFirst();
}

void ModalOverlay::closed() {
  if (!open_) return;
  open_ = false;
  auto& list = openOverlays();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  QWidget* focus = overlay_->window()->focusWidget();
  if (focus && !inside(focus)) return;  // already elsewhere
  if (QWidget* below = topmostIn(overlay_->window())) {
    for (ModalOverlay* o : list)
      if (o->overlay_ == below) o->focusFirst();
  } else if (canTakeFocus(focusBefore_)) {
    focusBefore_->setFocus(Qt::OtherFocusReason);
  } else if (focus) {
    focus->clearFocus();  // a hidden control keeps no keys
  }
}

bool ModalOverlay::isTopmost() const { return open_ && topmostIn(overlay_->window()) == overlay_; }

bool ModalOverlay::inside(const QObject* target) const {
  const auto* w = qobject_cast<const QWidget*>(target);
  return w && (w == overlay_ || overlay_->isAncestorOf(w));
}

bool ModalOverlay::blocks(QObject* target, QEvent* event) const {
  if (!isInput(event->type()) || !isTopmost()) return false;
  const auto* w = qobject_cast<const QWidget*>(target);
  return w && w->window() == overlay_->window() && !inside(w);
}

void ModalOverlay::focusFirst() {
  if (!overlay_->isVisible()) return;
  const auto chain = tabChain(overlay_);
  if (chain.empty())
    overlay_->setFocus(Qt::OtherFocusReason);  // nothing to press: the overlay holds the keys
  else
    chain.front()->setFocus(Qt::TabFocusReason);
}

void ModalOverlay::moveFocus(bool forward) {
  const auto chain = tabChain(overlay_);
  if (chain.empty()) {
    overlay_->setFocus(Qt::OtherFocusReason);
    return;
  }
  const auto n = static_cast<std::ptrdiff_t>(chain.size());
  const auto at = std::find(chain.begin(), chain.end(), overlay_->window()->focusWidget()) - chain.begin();
  const auto next = at == n ? (forward ? 0 : n - 1) : (at + (forward ? 1 : n - 1)) % n;
  chain[static_cast<std::size_t>(next)]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void ModalOverlay::focusChanged(QWidget* now) {
  // Focus given to something behind (by code or the window system) comes back.
  if (now && isTopmost() && overlay_->isVisible() && now->window() == overlay_->window() && !inside(now)) focusFirst();
}

bool ModalOverlay::eventFilter(QObject* watched, QEvent* event) {
  if (watched == overlay_) {
    if (event->type() == QEvent::Show)
      opened();
    else if (event->type() == QEvent::Hide)
      closed();
    else if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
      fit();
    return false;
  }
  if (watched == host_ && event->type() == QEvent::Resize) {
    fit();
    return false;
  }
  if (event->type() == QEvent::KeyPress && isTopmost()) {
    const auto* w = qobject_cast<QWidget*>(watched);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (w && w->window() == overlay_->window() && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
      if (inside(w))
        moveFocus(key == Qt::Key_Tab && !(static_cast<QKeyEvent*>(event)->modifiers() & Qt::ShiftModifier));
      else
        focusFirst();
      return true;
    }
    // Once, for the widget the key was sent to (not again as it propagates).
    if (w && inside(w) && w == w->window()->focusWidget() && keyButtonPressed(const_cast<QWidget*>(w), key))
      return true;
  }
  return blocks(watched, event);
}

}  // namespace penvora::qt::ui
