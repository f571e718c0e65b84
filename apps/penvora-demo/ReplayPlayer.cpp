#include "ReplayPlayer.hpp"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "qt/capture/Canvas.hpp"
#include "qt/capture/SignatureDrawerView.hpp"
#include "qt/document/NonSelectablePDFView.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"
#include "qt/document/PlacementAnnotations.hpp"
#include "qt/ui/CustomTextPrompt.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/RejectAlertViewController.hpp"
#include "qt/ui/UseDefaultCertDialog.hpp"

using namespace penvora::qt::capture;

namespace penvora::demo {
namespace {

using Controller = penvora::qt::document::PenvoraSDKSignatureViewController;
using json = nlohmann::json;

const char* const kActions[] = {"sign",          "stroke",
                                "acceptCapture", "closeCapture",
                                "dragSignature", "acceptPlacement",
                                "customText",    "useDefaultIdentity",
                                "reject",        "back",
                                "wait"};

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

}  // namespace

ReplayPlayer::ReplayPlayer(json ink, int stepTimeoutMs)
    : ink_(std::move(ink)), timeoutMs_(ink_.is_object() ? ink_.value("stepTimeoutMs", stepTimeoutMs) : stepTimeoutMs) {}

std::string ReplayPlayer::validate(const json& ink) {
  if (!ink.is_object() || !ink.contains("actions") || !ink["actions"].is_array())
    return "an ink file is an object with an \"actions\" list";
  for (std::size_t i = 0; i < ink["actions"].size(); ++i) {
    const json& a = ink["actions"][i];
    const std::string where = "action " + std::to_string(i + 1) + ": ";
    if (!a.is_object() || !a.contains("action") || !a["action"].is_string()) return where + "needs an \"action\" name";
    const std::string name = a["action"];
    if (std::find(std::begin(kActions), std::end(kActions), name) == std::end(kActions))
      return where + "unknown action \"" + name + "\"";
    if (name == "stroke") {
      if (!a.contains("points") || !a["points"].is_array() || a["points"].empty())
        return where + "a stroke needs points";
      for (const json& p : a["points"])
        if (!p.is_array() || p.size() != 3 || !p[0].is_number() || !p[1].is_number() || !p[2].is_number())
          return where + "each point is [x, y, milliseconds] with x and y from 0 to 1";
    }
    if ((name == "customText" || name == "reject") && !(a.contains("text") && a["text"].is_string()))
      return where + "needs a \"text\"";
  }
  return {};
}

bool ReplayPlayer::fail(std::string why) {
  error_ = std::move(why);
  return false;
}

bool ReplayPlayer::play(Controller* screen) {
  if (const auto problem = validate(ink_); !problem.empty()) return fail(problem);
  QPointer<Controller> c(screen);
  for (const json& action : ink_["actions"]) {
    if (!c) return fail("the signing screen closed before action \"" + action["action"].get<std::string>() + "\"");
    if (!step(c, action)) return false;
  }
  return true;
}

bool ReplayPlayer::step(Controller* c, const json& a) {
  const std::string name = a["action"];
  QPointer<Controller> alive(c);
  auto waitFor = [&](auto predicate, const char* what) {
    if (QTest::qWaitFor([&] { return alive && predicate(); }, timeoutMs_)) return true;
    return fail("action \"" + name + "\": " + what + " did not appear");
  };

  if (name == "wait") {
    QTest::qWait(a.value("ms", 500));
    return true;
  }
  if (name == "sign") {
    if (!waitFor([&] { return c->document() != nullptr || c->captureView() != nullptr; }, "the document")) return false;
    if (c->captureView()) return true;  // opened by itself
    if (!waitFor([&] { return c->signButton()->isEnabled(); }, "an enabled sign button")) return false;
    click(c->signButton());
    return true;
  }
  // A panel under another overlay (the loading card) takes no strokes yet.
  auto captureOnTop = [&] {
    return c->captureView() != nullptr && penvora::qt::ui::ModalOverlay::topmostIn(c->window()) == c->captureView();
  };
  if (name == "stroke") {
    if (!waitFor(captureOnTop, "the capture panel")) return false;
    Canvas& canvas = c->captureView()->canvasView();
    const QSize size = canvas.size();
    auto at = [&](const json& p) {
      return QPoint(static_cast<int>(p[0].get<double>() * size.width()),
                    static_cast<int>(p[1].get<double>() * size.height()));
    };
    const json& points = a["points"];
    // The pause the signer made since the previous stroke: the record keeps it.
    if (lastStrokeEndMs_) QTest::qWait(std::max(0, static_cast<int>(points[0][2].get<double>() - *lastStrokeEndMs_)));
    QTest::mousePress(&canvas, Qt::LeftButton, {}, at(points[0]));
    for (std::size_t i = 1; i < points.size(); ++i) {
      const int delay = std::max(0, points[i][2].get<int>() - points[i - 1][2].get<int>());
      // QTest only stamps its events; the hand takes real time too, or the
      // next stroke would start on the record's clock before this one ended.
      QTest::qWait(delay);
      QTest::mouseMove(&canvas, at(points[i]), delay);
    }
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, at(points.back()));
    lastStrokeEndMs_ = points.back()[2].get<double>();
    return true;
  }
  if (name == "acceptCapture") {
    if (!waitFor([&] { return c->captureView() != nullptr && c->captureView()->acceptButton().isEnabled(); },
                 "an enabled accept button in the capture panel"))
      return false;
    click(&c->captureView()->acceptButton());
    return true;
  }
  if (name == "closeCapture") {
    if (!waitFor(captureOnTop, "the capture panel")) return false;
    click(&c->captureView()->closeButton());
    return true;
  }
  if (name == "dragSignature") {
    if (!waitFor([&] { return c->imageSignatureAnnotation != nullptr && c->signaturePage() >= 0; },
                 "the signature box"))
      return false;
    const Rect& b = c->imageSignatureAnnotation->bounds;
    auto* view = c->pdfView();
    const QPoint from = view->convertFromPage({b.x + b.width / 2, b.y + b.height / 2}, c->signaturePage()).toPoint();
    const QPoint to = from + QPoint(a.value("dx", 0), a.value("dy", 0));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    for (int i = 1; i <= 10; ++i) QTest::mouseMove(view->viewport(), from + (to - from) * i / 10, 16);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    return true;
  }
  if (name == "acceptPlacement") {
    if (!waitFor([&] { return c->confirmButtons()->isVisible(); }, "the accept button")) return false;
    click(c->acceptButton());
    return true;
  }
  if (name == "customText") {
    if (!waitFor([&] { return c->customTextPrompt() != nullptr && c->customTextPrompt()->isVisible(); },
                 "the custom text prompt"))
      return false;
    const auto* prompt = c->customTextPrompt();
    QTest::keyClicks(prompt->textField(), QString::fromStdString(a["text"].get<std::string>()));
    click(prompt->acceptButton());
    return true;
  }
  if (name == "useDefaultIdentity") {
    if (!waitFor([&] { return c->defaultCertDialog() != nullptr; }, "the default-identity dialog")) return false;
    click(c->defaultCertDialog()->acceptButton());
    return true;
  }
  if (name == "reject") {
    if (!waitFor([&] { return c->rejectButton()->isVisible(); }, "the reject button")) return false;
    click(c->rejectButton());
    if (!waitFor([&] { return c->rejectDialog() != nullptr && c->rejectDialog()->isVisible(); }, "the reject dialog"))
      return false;
    QTest::keyClicks(c->rejectDialog()->rejectTextView(), QString::fromStdString(a["text"].get<std::string>()));
    click(c->rejectDialog()->positiveButton());
    return true;
  }
  if (name == "back") {
    click(c->findChild<QAbstractButton*>(QStringLiteral("backButton")));
    return true;
  }
  return fail("unknown action \"" + name + "\"");
}

}  // namespace penvora::demo
