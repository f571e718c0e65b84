#pragma once
#include <QtQml/qqmlregistration.h>

#include <QColor>
#include <QPointF>
#include <QQuickPaintedItem>
#include <QString>
#include <QStringList>
#include <thread>

#include "penvora/SignatureInk.hpp"

namespace penvora::qt::quick {

// The signature pad of the QML module (import Penvora): a native Qt Quick
// item that draws and records through SignatureInk as the widget
// SignatureView does, with its properties and point reports, and signs a
// request with what was drawn.
class SignatureItem : public QQuickPaintedItem {
  Q_OBJECT
  QML_NAMED_ELEMENT(SignatureView)
  Q_PROPERTY(double maximumStrokeWidth READ maximumStrokeWidth WRITE setMaximumStrokeWidth NOTIFY inkChanged)
  Q_PROPERTY(double minimumStrokeWidth READ minimumStrokeWidth WRITE setMinimumStrokeWidth NOTIFY inkChanged)
  Q_PROPERTY(QColor strokeColor READ strokeColor WRITE setStrokeColor NOTIFY inkChanged)
  Q_PROPERTY(double strokeAlpha READ strokeAlpha WRITE setStrokeAlpha NOTIFY inkChanged)
  // The record carries the pen's pressure (MAX_PRESS 1023) instead of 1.
  Q_PROPERTY(bool recordPenPressure MEMBER recordPenPressure_ NOTIFY inkChanged)
  Q_PROPERTY(bool hasSignature READ hasSignature NOTIFY drawingChanged)
  Q_PROPERTY(int pointCount READ pointCount NOTIFY drawingChanged)
  // Why the last signRequest() signed nothing; empty after a success.
  Q_PROPERTY(QString errorString READ errorString NOTIFY errorStringChanged)
  // A signRequest() is under way.
  Q_PROPERTY(bool signing READ signing NOTIFY signingChanged)

 public:
  explicit SignatureItem(QQuickItem* parent = nullptr);
  ~SignatureItem() override;  // waits for a signing under way to end

  double maximumStrokeWidth() const { return ink_.maximumStrokeWidth(); }
  void setMaximumStrokeWidth(double width);
  double minimumStrokeWidth() const { return ink_.minimumStrokeWidth(); }
  void setMinimumStrokeWidth(double width);
  QColor strokeColor() const { return ink_.strokeColor(); }
  void setStrokeColor(const QColor& color);
  double strokeAlpha() const { return ink_.strokeAlpha(); }
  void setStrokeAlpha(double alpha);
  bool hasSignature() const { return ink_.signature().has_value(); }
  int pointCount() const { return static_cast<int>(ink_.pointCount()); }
  QString errorString() const { return errorString_; }
  bool signing() const { return signing_; }

  // Drops the drawing and its trace.
  Q_INVOKABLE void clear();
  // The biometric record of what was drawn, base64 (a request's pointsB64).
  Q_INVOKABLE QString record(const QString& documentPath = {}) const;
  // The drawing as a picture file (PNG, JPEG... by the name's suffix).
  Q_INVOKABLE bool saveImage(const QString& path) const;
  // Starts signing the request in the JSON file at `request` (a path or a
  // file URL) with the drawing, field, fixed or float mode, on a worker
  // thread: signingFinished or signingFailed follows. False, with
  // errorString set, when it cannot start (no drawing, an unreadable
  // request, a signing already under way).
  Q_INVOKABLE bool signRequest(const QString& request);

  void paint(QPainter* painter) override;

 signals:
  void inkChanged();
  void drawingChanged();
  void errorStringChanged();
  void signingChanged();
  void signingFinished(const QStringList& files);
  void signingFailed(const QString& error);
  // The reports of SignatureViewDelegate, as signals.
  void tappedInside();
  void pannedInside();
  void pointCaptured(QPointF point, qint64 time);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void touchEvent(QTouchEvent* event) override;
  // Qt Quick hands pen events to pointer handlers only, and turns the rest
  // into mouse events without pressure: the pad takes them at its window.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void itemChange(ItemChange change, const ItemChangeData& value) override;
  void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

 private:
  void followSize();
  SignatureInk::RecordFacts recordFacts(const std::string& documentPath, bool penPressure) const;
  void setErrorString(const QString& text);
  void endSigning(const QStringList& files, const QString& error);

  SignatureInk ink_;
  bool penDown_ = false;  // a pen stroke began on the pad
  bool recordPenPressure_ = false;
  QString errorString_;
  std::thread worker_;    // the signing under way, or the last one
  bool signing_ = false;  // from signRequest() until its outcome is reported
};

}  // namespace penvora::qt::quick
