#pragma once
#include <QImage>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/capture/DeviceOrientation.hpp"
#include "core/capture/DrawerModel.hpp"
#include "qt/capture/Canvas.hpp"

class QAbstractButton;
class QLabel;
class QPushButton;
class QScreen;

namespace penvora::qt::capture {

class LocationManager;
class ProgressBar;

// The capture panel: title, security bar and close control, the canvas in
// the signature box's aspect ratio, erase and accept. Accepting hands the
// ink picture and the base64 biometric record to the presenter; the panel
// never closes itself.
class SignatureDrawerView : public QWidget {
  Q_OBJECT
 public:
  using AcceptAction = std::function<void(const QImage& image, const std::string& recordB64)>;
  using DismissAction = std::function<void()>;
  using WithoutDrawingAction = std::function<void()>;

  static constexpr float minValueToEnableAcceptButton = core::capture::kMinValueToEnableAcceptButton;

  SignatureDrawerView(core::capture::DrawerModel drawerModel, AcceptAction acceptAction, DismissAction dimissAction,
                      QWidget* parent = nullptr);
  // `locationManager`: the position source to use (tests give their own).
  SignatureDrawerView(core::capture::DrawerModel drawerModel, AcceptAction acceptAction, DismissAction dimissAction,
                      std::unique_ptr<LocationManager> locationManager, QWidget* parent = nullptr);
  ~SignatureDrawerView() override;

  const core::capture::DrawerModel& drawerModel() const { return drawerModel_; }
  Canvas& canvasView() const { return *canvasView_; }
  ProgressBar& progressBar() const { return *progressBar_; }
  LocationManager& locationManager() const { return *locationManager_; }
  QPushButton& eraseButton() const { return *eraseButton_; }
  QPushButton& acceptButton() const { return *acceptButton_; }
  QAbstractButton& closeButton() const { return *closeButton_; }
  // "Confirm without drawing", when the model allows it; null otherwise.
  QPushButton* withoutDrawingButton() const { return withoutDrawingButton_; }
  void onConfirmWithoutDrawing(WithoutDrawingAction action) { withoutDrawingAction_ = std::move(action); }
  QLabel& titleLabel() const { return *title_; }
  float progressBarValue() const;
  QColor progressBarColor() const;
  bool isLandscape() const { return isLandscape_; }
  std::chrono::system_clock::time_point startedTime() const { return startedTime_; }

  // One device-orientation notification.
  void orientationChanged(core::capture::DeviceOrientation orientation);
  // The orientation of a screen, as the device would report it.
  static core::capture::DeviceOrientation orientationOf(const QScreen* screen);

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void buildLayout();
  void erase();
  void accept();
  void updateAcceptButton();
  void followScreen(QScreen* screen);

  std::unique_ptr<LocationManager> locationManager_;
  core::capture::DrawerModel drawerModel_;
  AcceptAction acceptAction_;
  DismissAction dimissAction_;
  WithoutDrawingAction withoutDrawingAction_;
  std::chrono::system_clock::time_point startedTime_;
  bool isLandscape_ = false;

  Canvas* canvasView_ = nullptr;
  ProgressBar* progressBar_ = nullptr;
  std::unique_ptr<Canvas::Coordinator> coordinator_;
  QLabel* title_ = nullptr;
  QAbstractButton* closeButton_ = nullptr;
  QPushButton* eraseButton_ = nullptr;
  QPushButton* acceptButton_ = nullptr;
  QPushButton* withoutDrawingButton_ = nullptr;
  QWidget* panel_ = nullptr;
  QMetaObject::Connection screenConnection_;
};

}  // namespace penvora::qt::capture
