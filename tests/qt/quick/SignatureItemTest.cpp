// The QML module as a Qt Quick host meets it: import Penvora, draw on the
// SignatureView item with real input events, read the record and sign.
#include <gtest/gtest.h>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "penvora/SignatureVerifier.hpp"
#include "penvora/SignatureView.hpp"

namespace {

// One stroke across the pad, then a tap: the same input for every pad.
const std::vector<QPoint> kStroke = {{20, 60}, {40, 50}, {70, 45}, {110, 70}, {150, 90}, {190, 60}, {230, 40}};
const QPoint kTap(260, 100);

struct QuickPad {
  QQuickView view;
  QQuickItem* pad = nullptr;

  explicit QuickPad(const QByteArray& properties = {}) {
    static const bool software = [] {  // the offscreen platform has no OpenGL
      QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
      return true;
    }();
    (void)software;
    view.engine()->addImportPath(PENVORA_BINARY_DIR "/qml");
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    QQmlComponent component(view.engine());
    component.setData("import Penvora\nSignatureView { width: 300; height: 150; " + properties + " }", QUrl());
    pad = qobject_cast<QQuickItem*>(component.create());
    if (!pad) ADD_FAILURE() << component.errorString().toStdString();
    view.setContent(QUrl(), &component, pad);
    view.resize(300, 150);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  }

  void draw() {
    QTest::mousePress(&view, Qt::LeftButton, {}, kStroke.front());
    for (const QPoint& p : kStroke) QTest::mouseMove(&view, p);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, kStroke.back());
    QTest::mouseClick(&view, Qt::LeftButton, {}, kTap);
  }
};

struct PointLog : penvora::SignatureViewDelegate {
  std::vector<QPointF> points;
  int taps = 0, pans = 0;
  void swiftSignatureViewDidTapInside(penvora::SignatureView&) override { ++taps; }
  void swiftSignatureViewDidPanInside(penvora::SignatureView&) override { ++pans; }
  void signatureViewPointCapture(const QPointF& p, std::int64_t) override { points.push_back(p); }
};

std::string recordText(const QString& b64) { return QByteArray::fromBase64(b64.toLatin1()).toStdString(); }

// A fixed-mode request over the sample contract, written to `dir`.
QString fixedRequest(const QTemporaryDir& dir, const QByteArray& widgetType = "Fixed") {
  QFile in(PENVORA_SOURCE_DIR "/examples/request-fixed.json");
  EXPECT_TRUE(in.open(QIODevice::ReadOnly));
  QByteArray json = in.readAll();
  json.replace("\"examples/contract.pdf\"", "\"" PENVORA_SOURCE_DIR "/examples/contract.pdf\"");
  json.replace("\"Fixed\"", "\"" + widgetType + "\"");
  const QString path = dir.filePath("request.json");
  QFile out(path);
  EXPECT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(json);
  return path;
}

TEST(SignatureItemTest, InksAndReportsAsTheWidgetDoes) {
  QuickPad quick("strokeColor: \"#0a2a6b\"; maximumStrokeWidth: 6");
  ASSERT_TRUE(quick.pad);
  QSignalSpy points(quick.pad, SIGNAL(pointCaptured(QPointF, qint64)));
  QSignalSpy taps(quick.pad, SIGNAL(tappedInside()));
  QSignalSpy pans(quick.pad, SIGNAL(pannedInside()));
  quick.draw();

  penvora::SignatureView widget;
  widget.resize(300, 150);
  widget.setStrokeColor(QColor("#0a2a6b"));
  widget.setMaximumStrokeWidth(6);
  PointLog log;
  widget.setDelegate(&log);
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  QTest::mousePress(&widget, Qt::LeftButton, {}, kStroke.front());
  for (const QPoint& p : kStroke) QTest::mouseMove(&widget, p);
  QTest::mouseRelease(&widget, Qt::LeftButton, {}, kStroke.back());
  QTest::mouseClick(&widget, Qt::LeftButton, {}, kTap);

  ASSERT_EQ(points.size(), static_cast<qsizetype>(log.points.size()));
  for (qsizetype i = 0; i < points.size(); ++i) EXPECT_EQ(points[i][0].toPointF(), log.points[i]) << "point " << i;
  EXPECT_EQ(taps.size(), log.taps);
  EXPECT_EQ(pans.size(), log.pans);
  EXPECT_TRUE(quick.pad->property("hasSignature").toBool());

  // The same arithmetic gives the same picture, pixel for pixel.
  QTemporaryDir dir;
  ASSERT_TRUE(QMetaObject::invokeMethod(quick.pad, "saveImage", Q_ARG(QString, dir.filePath("pad.png"))));
  const QImage item(dir.filePath("pad.png"));
  ASSERT_TRUE(widget.signature());
  EXPECT_EQ(item.convertToFormat(QImage::Format_ARGB32), widget.signature()->convertToFormat(QImage::Format_ARGB32));

  // The record holds every input point, one row each, in the one format.
  QString record;
  QMetaObject::invokeMethod(quick.pad, "record", Q_RETURN_ARG(QString, record),
                            Q_ARG(QString, PENVORA_SOURCE_DIR "/examples/contract.pdf"));
  const std::string text = recordText(record);
  EXPECT_EQ(text.rfind("MAX_X;MAX_Y;MAX_PRESS;", 0), 0u) << text;
  const auto rows = std::count(text.begin(), text.end(), '\n') - 2;  // header, values; the columns line
  EXPECT_EQ(rows, quick.pad->property("pointCount").toInt());
  EXPECT_GE(static_cast<std::size_t>(rows), kStroke.size() + 2);  // press, moves, release, the tap's two

  QMetaObject::invokeMethod(quick.pad, "clear");
  EXPECT_FALSE(quick.pad->property("hasSignature").toBool());
  EXPECT_EQ(quick.pad->property("pointCount").toInt(), 0);
}

TEST(SignatureItemTest, APenStrokeRecordsItsPressure) {
  QuickPad quick("recordPenPressure: true");
  ASSERT_TRUE(quick.pad);
  const QPointingDevice pen("pen", 7, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                            QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3);
  auto send = [&](QEvent::Type type, QPointF at, double pressure) {
    const Qt::MouseButtons buttons = type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton;
    QTabletEvent event(type, &pen, at, quick.view.mapToGlobal(at), pressure, 0, 0, 0, 0, 0, Qt::NoModifier,
                       Qt::LeftButton, buttons);
    QCoreApplication::sendEvent(&quick.view, &event);
    return event.isAccepted();
  };
  EXPECT_FALSE(send(QEvent::TabletMove, {40, 40}, 0));  // hovering draws nothing
  EXPECT_TRUE(send(QEvent::TabletPress, {20, 20}, 0.25));
  for (int i = 1; i <= 8; ++i) send(QEvent::TabletMove, {20.0 + i * 12, 20.0 + i * 6}, 0.5);
  EXPECT_TRUE(send(QEvent::TabletRelease, {116, 68}, 0.75));
  EXPECT_TRUE(quick.pad->property("hasSignature").toBool());

  QString record;
  QMetaObject::invokeMethod(quick.pad, "record", Q_RETURN_ARG(QString, record),
                            Q_ARG(QString, PENVORA_SOURCE_DIR "/examples/contract.pdf"));
  const std::string text = recordText(record);
  const auto values = QString::fromStdString(text).split('\n').value(1).split(';');
  EXPECT_EQ(values.value(2), "1023") << text;  // MAX_PRESS
  for (const char* row : {"\n20;20;256;", "\n32;26;512;", "\n116;68;767;"})
    EXPECT_NE(text.find(row), std::string::npos) << row;
}

TEST(SignatureItemTest, SignsARequestWithTheDrawingAndItsTrace) {
  QuickPad quick;
  ASSERT_TRUE(quick.pad);
  QTemporaryDir dir;
  const QString request = fixedRequest(dir);

  // Nothing drawn: nothing starts, and the reason.
  auto sign = [&](const QString& path) {
    bool started = false;
    QMetaObject::invokeMethod(quick.pad, "signRequest", Q_RETURN_ARG(bool, started), Q_ARG(QString, path));
    return started;
  };
  EXPECT_FALSE(sign(request));
  EXPECT_EQ(quick.pad->property("errorString").toString(), "nothing was drawn");

  // Signing runs beside the event loop and reports its files.
  quick.draw();
  QSignalSpy finished(quick.pad, SIGNAL(signingFinished(QStringList)));
  QSignalSpy failed(quick.pad, SIGNAL(signingFailed(QString)));
  ASSERT_TRUE(sign(QUrl::fromLocalFile(request).toString()));
  EXPECT_TRUE(quick.pad->property("signing").toBool());
  EXPECT_FALSE(sign(request));  // one at a time
  EXPECT_EQ(quick.pad->property("errorString").toString(), "a signing is under way");
  ASSERT_TRUE(finished.wait(20000)) << failed.value(0).value(0).toString().toStdString();
  EXPECT_FALSE(quick.pad->property("signing").toBool());
  const QStringList files = finished.front().front().toStringList();
  ASSERT_EQ(files.size(), 1);
  const auto report = penvora::verifySignatures(files.front().toStdString());
  ASSERT_EQ(report.signatures.size(), 1u);
  EXPECT_TRUE(report.signatures.front().intact);
  EXPECT_TRUE(report.signatures.front().hasBiometricData);
  EXPECT_TRUE(report.signatures.front().hasBiometricSummary);
  QFile::remove(files.front());

  // Manual placement needs the signing screen: it fails from the worker.
  ASSERT_TRUE(sign(fixedRequest(dir, "Manual")));
  ASSERT_TRUE(failed.wait(20000));
  EXPECT_EQ(failed.front().front().toString(), "manual positioning needs the signing screen");
  // A broken request is named at once.
  QFile broken(dir.filePath("broken.json"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("{\"fileProperties\": 3}");
  broken.close();
  EXPECT_FALSE(sign(broken.fileName()));
  EXPECT_TRUE(quick.pad->property("errorString").toString().startsWith("bad request at fileProperties"));
}

}  // namespace
