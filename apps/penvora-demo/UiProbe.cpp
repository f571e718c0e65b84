#include "UiProbe.hpp"

#include <unistd.h>
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <algorithm>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>

#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/ui/InfoAlertViewController.hpp"
#include "qt/ui/InsertPasswordPDFView.hpp"
#include "qt/ui/LoadingDocumentsView.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"

using namespace penvora::qt::capture;

namespace penvora::demo {
namespace {

using json = nlohmann::json;

json onScreen(const QWidget* w) {
  if (!w || !w->isVisible()) return nullptr;
  const QPoint at = w->mapToGlobal(QPoint(0, 0));
  return {at.x(), at.y(), w->width(), w->height()};
}

std::string name(const QWidget* w) {
  if (!w) return {};
  if (!w->objectName().isEmpty()) return w->objectName().toStdString();
  if (!w->accessibleName().isEmpty()) return w->accessibleName().toStdString();
  if (auto* b = qobject_cast<const QAbstractButton*>(w); b && !b->text().isEmpty()) return b->text().toStdString();
  return w->metaObject()->className();
}

int boxes(const penvora::qt::document::PenvoraSDKSignatureViewController* c) {
  int n = 0;
  for (int page = 0; page < c->pdfView()->pageCount(); ++page)
    for (const auto& o : c->pdfView()->overlays(page))
      if (std::dynamic_pointer_cast<penvora::qt::document::ImageSignaturePDFAnnotation>(o)) ++n;
  return n;
}

// The panel a person sees on top: the last shown of the screen's panels
// and dialogs in stacking order (a dialog of its own window counts too).
const QWidget* topPanel(const penvora::qt::document::PenvoraSDKSignatureViewController* c) {
  if (const QWidget* modal = penvora::qt::ui::ModalOverlay::topmostIn(c->window())) return modal;
  const QList<const QWidget*> panels = {c->captureView(),       c->passwordPanel(), c->loadingPanel(),
                                        c->defaultCertDialog(), c->rejectDialog(),  c->infoAlert()};
  const auto& children = c->children();
  for (auto it = children.rbegin(); it != children.rend(); ++it)
    if (auto* w = qobject_cast<const QWidget*>(*it); w && w->isVisible() && panels.contains(w)) return w;
  for (const QWidget* w : panels)
    if (w && w->isVisible()) return w;
  return nullptr;
}

// The viewer as a person sees it: where it has scrolled to, its scale,
// the page in view; the manual box with its page's place on screen (so a
// test can map the box to page space itself).
json viewerState(const penvora::qt::document::PenvoraSDKSignatureViewController* c) {
  const auto* view = c->pdfView();
  if (!view || view->pageCount() == 0) return nullptr;
  const QPoint viewport = view->viewport()->mapToGlobal(QPoint(0, 0));
  auto global = [&](const QRectF& r) {
    return json{r.x() + viewport.x(), r.y() + viewport.y(), r.width(), r.height()};
  };
  json out{{"scroll", {view->scrollOffset().x(), view->scrollOffset().y()}},
           {"scale", view->scaleFactor()},
           {"autoScales", view->autoScales()},
           {"page", view->currentPage()},
           {"pages", view->pageCount()},
           {"viewport", onScreen(view->viewport())}};
  if (const auto& box = c->imageSignatureAnnotation; box && c->signaturePage() >= 0) {
    const int page = c->signaturePage();
    const Rect crop = view->pageCropBox(page);
    const QRectF bounds(box->bounds.x, box->bounds.y, box->bounds.width, box->bounds.height);
    out["box"] = {{"page", page},
                  {"onScreen", global(view->convertRectFromPage(bounds, page))},
                  {"pageOnScreen", global(view->pageRectInView(page))},
                  {"crop", {crop.x, crop.y, crop.width, crop.height}},
                  {"rotation", view->pageRotation(page)}};
  }
  return out;
}

// Every enabled control or label that shows text to the user on top (inside
// the topmost panel when one is open), with its place on screen, so a test
// can measure the text's contrast on the screenshot and a button's size.
// Controls a screen reader would meet without a name (or with a glyph for
// one, such as "✕"): what assistive technology reads, walked from the window.
json unnamedControls(QWidget* window) {
  json found = json::array();
  std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* a) {
    if (!a || a->state().invisible) return;
    const QString text = a->text(QAccessible::Name);
    const bool control = a->state().focusable || a->role() == QAccessible::PushButton ||
                         a->role() == QAccessible::EditableText || a->role() == QAccessible::ScrollBar ||
                         a->role() == QAccessible::ProgressBar || a->role() == QAccessible::Link;
    if (control && std::none_of(text.begin(), text.end(), [](QChar ch) { return ch.isLetter(); }))
      found.push_back(std::string(a->object() ? a->object()->metaObject()->className() : "?") + " \"" +
                      text.toStdString() + "\"");
    for (int i = 0; i < a->childCount(); ++i) walk(a->child(i));
  };
  walk(QAccessible::queryAccessibleInterface(window));
  return found;
}

json texts(const QWidget* window, const QWidget* overlay) {
  json out = json::array();
  for (const QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible() || !w->isEnabled() || w->width() < 4 || w->height() < 4) continue;
    if (overlay && overlay != w && !overlay->isAncestorOf(w)) continue;
    if (auto* fade = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect()); fade && fade->opacity() < 0.05)
      continue;  // faded out: nothing to read
    QString text;
    if (auto* label = qobject_cast<const QLabel*>(w))
      text = label->text();
    else if (auto* button = qobject_cast<const QAbstractButton*>(w))
      text = button->text();
    else if (auto* edit = qobject_cast<const QLineEdit*>(w))
      text = edit->text();
    if (text.trimmed().isEmpty()) continue;
    out.push_back({{"name", name(w)},
                   {"text", text.toStdString()},
                   {"rect", onScreen(w)},
                   {"button", qobject_cast<const QAbstractButton*>(w) != nullptr}});
  }
  return out;
}

}  // namespace

UiProbe::UiProbe(penvora::qt::document::PenvoraSDKSignatureViewController* screen, QObject* parent)
    : QObject(parent), screen_(screen), input_(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this)) {
  connect(input_, &QSocketNotifier::activated, this, [this] { readCommands(); });
}

std::string UiProbe::describe() const {
  const penvora::qt::document::PenvoraSDKSignatureViewController* c = screen_;
  json out;
  out["busy"] = gestures_.busy();
  if (const QScreen* s = QGuiApplication::primaryScreen())
    out["screen"] = {s->geometry().width(), s->geometry().height()};
  if (!c) {
    out["window"] = nullptr;
    return out.dump();
  }
  const QWidget* window = c->window();
  const QWidget* overlay = topPanel(c);
  QWidget* focus = QApplication::focusWidget();
  out["window"] = onScreen(window);
  out["active"] = window->isActiveWindow();
  out["overlay"] = overlay ? json{{"class", overlay->metaObject()->className()},
                                  {"name", overlay->objectName().toStdString()},
                                  {"geometry", onScreen(overlay)}}
                           : json(nullptr);
  if (const SignatureDrawerView* capture = c->captureView()) {
    out["capturePanel"] = onScreen(capture->findChild<QWidget*>(QStringLiteral("signatureDrawerPanel")));
    out["captureTitle"] = capture->titleLabel().text().toStdString();
    out["captureTitleFits"] = capture->titleLabel().width() >= capture->titleLabel().sizeHint().width();
    out["canvas"] = onScreen(&capture->canvasView());
    out["captureAccept"] = onScreen(&capture->acceptButton());
    out["captureAcceptEnabled"] = capture->acceptButton().isEnabled();
  }
  out["focus"] = focus ? json{{"name", name(focus)},
                              {"class", focus->metaObject()->className()},
                              {"insideOverlay", overlay && (focus == overlay || overlay->isAncestorOf(focus))}}
                       : json(nullptr);
  out["sign"] = onScreen(c->signButton());
  out["reject"] = onScreen(c->rejectButton());
  out["back"] = onScreen(c->findChild<QWidget*>(QStringLiteral("backButton")));
  out["accept"] = onScreen(c->acceptButton());
  out["rejectDialog"] = c->rejectDialog() != nullptr;
  out["boxes"] = boxes(c);
  if (const auto& box = c->imageSignatureAnnotation; box && c->signaturePage() >= 0)
    out["boxPage"] = {box->bounds.x, box->bounds.y, box->bounds.width, box->bounds.height};
  out["unnamed"] = unnamedControls(const_cast<QWidget*>(window));
  out["signEnabled"] = c->signButton() && c->signButton()->isEnabled();
  out["view"] = viewerState(c);
  out["texts"] = texts(window, overlay);
  return out.dump();
}

void UiProbe::readCommands() {
  char buffer[512];
  const auto n = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (n <= 0) {
    input_->setEnabled(false);  // the test closed its end
    return;
  }
  pending_.append(buffer, static_cast<std::size_t>(n));
  for (auto eol = pending_.find('\n'); eol != std::string::npos; eol = pending_.find('\n')) {
    const std::string line = pending_.substr(0, eol);
    pending_.erase(0, eol + 1);
    int w = 0, h = 0;
    if (screen_ && std::sscanf(line.c_str(), "windowed %d %d", &w, &h) == 2) {
      QWidget* window = screen_->window();
      window->showNormal();
      window->resize(w, h);
    } else if (screen_) {
      gestures_.start(line, screen_->window()->windowHandle());
    }
    std::cout << "probe: " << describe() << std::endl;
  }
}

}  // namespace penvora::demo
