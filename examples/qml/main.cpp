// A Qt Quick host: a QML page with the Penvora SignatureView item, whose
// drawing signs the request.
//   host-qml REQUEST.json            a person draws and presses Sign
//   host-qml REQUEST.json --scripted draws one stroke itself, signs, quits
//                                    (exit 0 when it signed)
#include <QApplication>
#include <QMouseEvent>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <cmath>
#include <iostream>

namespace {

// A looping stroke across the pad, sent through the window as a mouse
// would: what the check of the installed package runs without a person.
void drawStroke(QQuickWindow* window, QQuickItem* pad) {
  const QPointF origin = pad->mapToScene(QPointF(0, 0));
  auto send = [&](QEvent::Type type, double t) {
    const QPointF local(20 + t * (pad->width() - 40), pad->height() / 2 + std::sin(t * 12) * pad->height() / 4);
    const QPointF scene = origin + local;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, scene, scene, window->mapToGlobal(scene), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
  };
  send(QEvent::MouseButtonPress, 0);
  for (int i = 1; i <= 60; ++i) send(QEvent::MouseMove, i / 60.0);
  send(QEvent::MouseButtonRelease, 1);
}

}  // namespace

int main(int argc, char** argv) {
  // The component needs a QApplication even under Qt Quick: its signing
  // screen and dialogs are widgets.
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::cerr << "usage: host-qml REQUEST.json [--scripted]\n";
    return 2;
  }
  QQmlApplicationEngine engine;
  engine.addImportPath(PENVORA_QML_IMPORT_PATH);
  engine.rootContext()->setContextProperty("requestFile", args.at(1));
  engine.load(QUrl("qrc:/Main.qml"));
  if (engine.rootObjects().isEmpty()) return 1;
  if (!args.contains("--scripted")) return app.exec();

  auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
  auto* pad = window ? window->findChild<QQuickItem*>("pad") : nullptr;
  if (!pad) return 1;
  QObject::connect(pad, SIGNAL(signingFinished(QStringList)), &app, SLOT(quit()));
  QObject::connect(pad, SIGNAL(signingFailed(QString)), &app, SLOT(quit()));
  QTimer::singleShot(0, &app, [&] {
    drawStroke(window, pad);
    QVariant started;
    QMetaObject::invokeMethod(window, "sign", Q_RETURN_ARG(QVariant, started));
    if (!started.toBool()) app.quit();
  });
  app.exec();
  // The page's status line says what came of it.
  const auto* line = window->findChild<QObject*>("status");
  const QString outcome = line ? line->property("text").toString() : QString();
  std::cout << "points: " << pad->property("pointCount").toInt() << ", " << outcome.toStdString() << "\n";
  return outcome.startsWith("Signed: ") ? 0 : 1;
}
