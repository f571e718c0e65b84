#include "SignatureItem.hpp"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QQuickWindow>
#include <QScreen>
#include <QTabletEvent>
#include <QUrl>

#include "penvora/CapturedSignatureSigning.hpp"
#include "penvora/JsonDecoding.hpp"

namespace penvora::qt::quick {

SignatureItem::SignatureItem(QQuickItem* parent) : QQuickPaintedItem(parent) {
  setAcceptedMouseButtons(Qt::LeftButton);
  setAcceptTouchEvents(true);
  ink_.setListener({
      .tapped = [this] { emit tappedInside(); },
      .panned = [this] { emit pannedInside(); },
      .pointCaptured = [this](const QPointF& p, std::int64_t t) { emit pointCaptured(p, t); },
      .inked = [this](const QRectF& area) { update(area.toAlignedRect()); },
  });
}

void SignatureItem::setMaximumStrokeWidth(double width) {
  ink_.setMaximumStrokeWidth(width);
  emit inkChanged();
}

void SignatureItem::setMinimumStrokeWidth(double width) {
  ink_.setMinimumStrokeWidth(width);
  emit inkChanged();
}

void SignatureItem::setStrokeColor(const QColor& color) {
  ink_.setStrokeColor(color);
  emit inkChanged();
}

void SignatureItem::setStrokeAlpha(double alpha) {
  ink_.setStrokeAlpha(alpha);
  emit inkChanged();
}

void SignatureItem::clear() {
  ink_.clear();
  update();
  emit drawingChanged();
}

void SignatureItem::followSize() {
  const qreal scale = window() ? window()->effectiveDevicePixelRatio() : 1.0;
  ink_.setCanvasSize(size(), scale);
}

void SignatureItem::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
  QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
  followSize();
}

void SignatureItem::paint(QPainter* painter) {
  if (const auto& picture = ink_.signature()) painter->drawImage(boundingRect(), *picture);
}

void SignatureItem::mousePressEvent(QMouseEvent* event) {
  followSize();
  ink_.press(event->position());
  event->accept();
}

void SignatureItem::mouseMoveEvent(QMouseEvent* event) {
  ink_.move(event->position());
  emit drawingChanged();
}

void SignatureItem::mouseReleaseEvent(QMouseEvent* event) {
  ink_.release(event->position());
  emit drawingChanged();
}

void SignatureItem::touchEvent(QTouchEvent* event) {
  // One finger signs; a second one is ignored rather than joined in.
  if (event->points().isEmpty()) return;
  const QEventPoint& point = event->points().constFirst();
  const bool measuresPressure =
      event->device() && event->device()->capabilities().testFlag(QInputDevice::Capability::Pressure);
  const double pressure = measuresPressure ? point.pressure() : 1.0;
  switch (point.state()) {
    case QEventPoint::Pressed:
      followSize();
      ink_.press(point.position(), pressure);
      break;
    case QEventPoint::Updated:
      ink_.move(point.position(), pressure);
      break;
    case QEventPoint::Released:
      ink_.release(point.position(), pressure);
      break;
    default:
      break;
  }
  emit drawingChanged();
  event->accept();
}

void SignatureItem::itemChange(ItemChange change, const ItemChangeData& value) {
  if (change == ItemSceneChange) {
    if (QQuickWindow* old = window()) old->removeEventFilter(this);
    if (value.window) value.window->installEventFilter(this);
  }
  QQuickPaintedItem::itemChange(change, value);
}

bool SignatureItem::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (type != QEvent::TabletPress && type != QEvent::TabletMove && type != QEvent::TabletRelease)
    return QQuickPaintedItem::eventFilter(watched, event);
  auto* tablet = static_cast<QTabletEvent*>(event);
  const QPointF at = mapFromScene(tablet->position());
  if (type == QEvent::TabletPress) {
    if (!isVisible() || !isEnabled() || !contains(at)) return false;
    penDown_ = true;
    followSize();
    ink_.press(at, tablet->pressure());
  } else if (!penDown_) {
    return false;  // a hovering pen, or a stroke that began elsewhere
  } else if (type == QEvent::TabletMove) {
    ink_.move(at, tablet->pressure());
  } else {
    penDown_ = false;
    ink_.release(at, tablet->pressure());
  }
  emit drawingChanged();
  event->accept();
  return true;
}

SignatureInk::RecordFacts SignatureItem::recordFacts(const std::string& documentPath, bool penPressure) const {
  SignatureInk::RecordFacts facts;
  const QScreen* screen = window() ? window()->screen() : nullptr;
  if (screen) facts.screen = screen->geometry().size();
  facts.frame = mapRectToScene(boundingRect());
  facts.documentPath = documentPath;
  facts.hostVersion = QCoreApplication::applicationVersion().toStdString();
  facts.penPressure = penPressure;
  return facts;
}

QString SignatureItem::record(const QString& documentPath) const {
  return QString::fromStdString(ink_.record(recordFacts(documentPath.toStdString(), recordPenPressure_)));
}

bool SignatureItem::saveImage(const QString& path) const {
  const auto& picture = ink_.signature();
  return picture && picture->save(path);
}

void SignatureItem::setErrorString(const QString& text) {
  if (text == errorString_) return;
  errorString_ = text;
  emit errorStringChanged();
}

bool SignatureItem::signRequest(const QString& request) {
  if (signing()) {
    setErrorString(tr("a signing is under way"));
    return false;
  }
  const QUrl url(request);
  const QString path = url.isLocalFile() ? url.toLocalFile() : request;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    setErrorString(tr("cannot read the request %1").arg(path));
    return false;
  }
  PenvoraSDKParams params;
  try {
    params = decodeJson<PenvoraSDKParams>(file.readAll().toStdString());
  } catch (const DecodingError& e) {
    setErrorString(tr("bad request at %1: %2").arg(QString::fromStdString(e.codingPath()), e.what()));
    return false;
  }
  if (!ink_.signature()) {
    setErrorString(tr("nothing was drawn"));
    return false;
  }
  const std::string document = params.fileProperties ? params.fileProperties->documentPath : std::string();
  const bool pressure = recordPenPressure_ || (params.commonProperties && params.commonProperties->recordPenPressure);
  // The worker gets copies only: the pad may be drawn on, cleared or
  // destroyed meanwhile (the destructor waits for it).
  QImage picture = ink_.signature()->copy();
  std::string record = ink_.record(recordFacts(document, pressure));
  if (worker_.joinable()) worker_.join();  // the last one, long finished
  signing_ = true;
  worker_ = std::thread([this, params = std::move(params), picture = std::move(picture), record = std::move(record)] {
    QStringList files;
    QString error;
    try {
      const auto result = signCapturedSignature(params, picture, record);
      for (const auto& f : result.signedFiles) files << QString::fromStdString(f.string());
      if (!result.ok()) error = QString::fromStdString(result.error);
    } catch (const std::exception& e) {  // nothing may leave a thread
      error = QString::fromUtf8(e.what());
    }
    QMetaObject::invokeMethod(
        this, [this, files, error] { endSigning(files, error); }, Qt::QueuedConnection);
  });
  setErrorString({});
  emit signingChanged();
  return true;
}

void SignatureItem::endSigning(const QStringList& files, const QString& error) {
  if (worker_.joinable()) worker_.join();  // it has nothing left to do
  signing_ = false;
  emit signingChanged();
  setErrorString(error);
  if (error.isEmpty())
    emit signingFinished(files);
  else
    emit signingFailed(error);
}

SignatureItem::~SignatureItem() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace penvora::qt::quick
