#include "qt/capture/SignatureDrawerView.hpp"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "core/capture/BiometricRecordWriter.hpp"
#include "penvora/Log.hpp"
#include "qt/capture/LocationManager.hpp"
#include "qt/capture/ProgressBar.hpp"
#include "qt/ui/Accessibility.hpp"
#include "qt/ui/AspectRatioBox.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/PanelFonts.hpp"
#include "qt/ui/QtColor.hpp"

namespace penvora::qt::capture {
namespace {

QFrame* divider(Qt::Orientation orientation) {
  auto* line = new QFrame;
  line->setFrameShape(orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine);
  line->setStyleSheet(QStringLiteral("color: #8E8E93; background: #8E8E93;"));
  if (orientation == Qt::Horizontal)
    line->setFixedHeight(1);
  else
    line->setFixedWidth(1);
  return line;
}

QString hostVersion() { return QCoreApplication::applicationVersion(); }

}  // namespace

SignatureDrawerView::SignatureDrawerView(core::capture::DrawerModel drawerModel, AcceptAction acceptAction,
                                         DismissAction dimissAction, QWidget* parent)
    : SignatureDrawerView(std::move(drawerModel), std::move(acceptAction), std::move(dimissAction),
                          std::make_unique<LocationManager>(), parent) {}

SignatureDrawerView::SignatureDrawerView(core::capture::DrawerModel drawerModel, AcceptAction acceptAction,
                                         DismissAction dimissAction, std::unique_ptr<LocationManager> locationManager,
                                         QWidget* parent)
    : QWidget(parent),
      locationManager_(std::move(locationManager)),
      drawerModel_(std::move(drawerModel)),
      acceptAction_(std::move(acceptAction)),
      dimissAction_(std::move(dimissAction)),
      startedTime_(std::chrono::system_clock::now()) {
  setAttribute(Qt::WA_TranslucentBackground);  // the presenter's content shows around the panel
  isLandscape_ = core::capture::isLandscape(orientationOf(screen()));
  buildLayout();
}

SignatureDrawerView::~SignatureDrawerView() = default;

void SignatureDrawerView::buildLayout() {
  const QColor accent = ui::namedColor(QStringLiteral("AccentColor"));
  const QFont medium = ui::panelFont(QStringLiteral("Exo2-Medium"), ui::TextStyle::body);

  panel_ = new QWidget(this);
  panel_->setObjectName(QStringLiteral("signatureDrawerPanel"));
  panel_->setAutoFillBackground(true);
  QPalette panelPalette = panel_->palette();
  panelPalette.setColor(QPalette::Window, ui::namedColor(QStringLiteral("LightGrayColor")));
  panel_->setPalette(panelPalette);

  auto* header = new QWidget;
  header->setAutoFillBackground(true);
  QPalette headerPalette = header->palette();
  headerPalette.setColor(QPalette::Window, accent);
  header->setPalette(headerPalette);
  // White on the accent in either scheme (the light scheme's text is black).
  // A style sheet, as the screen's sheet would win over a palette.
  header->setStyleSheet(QStringLiteral("QLabel, QToolButton { color: #FFFFFF; }") +
                        ui::focusRing(QLatin1String(ui::kFocusOnAccent)));
  auto* headerRow = new QHBoxLayout(header);
  title_ = new QLabel(ui::localizedString("sign-here"));
  title_->setFont(ui::panelFont(QStringLiteral("Exo2-Medium"), ui::TextStyle::title3));
  progressBar_ = new ProgressBar;
  auto* close = new QToolButton;
  close->setText(QStringLiteral("\u2715"));  // the "xmark" symbol
  close->setFont(ui::panelFont(QStringLiteral("Exo2-Medium"), ui::TextStyle::title2));
  close->setAutoRaise(true);
  close->setMinimumSize(44, 44);  // a finger's target
  ui::nameForAccessibility(close, "a11y_close");
  closeButton_ = close;
  headerRow->addWidget(title_);
  headerRow->addStretch();
  headerRow->addWidget(progressBar_);
  headerRow->addStretch();
  headerRow->addWidget(close);

  const bool dark = ui::isDarkColorScheme(palette());
  canvasView_ = new Canvas(dark, QString::fromStdString(drawerModel_.signatureColorHex),
                           static_cast<double>(drawerModel_.signatureThickness));
  ui::nameForAccessibility(canvasView_, "a11y_canvas", "a11y_canvas_description");
  ui::nameForAccessibility(progressBar_, "a11y_security_level");
  auto* canvasBox = new ui::AspectRatioBox(canvasView_, drawerModel_.ratio);
  coordinator_ = std::make_unique<Canvas::Coordinator>(*progressBar_);
  connect(canvasView_, &Canvas::drawingDidChange, this, [this] {
    coordinator_->canvasViewDrawingDidChange(*canvasView_);
    updateAcceptButton();
  });

  auto* buttons = new QWidget;
  buttons->setFixedHeight(48);  // touch targets of at least 44
  auto* buttonRow = new QHBoxLayout(buttons);
  buttonRow->setContentsMargins(0, 0, 0, 0);
  eraseButton_ = new QPushButton(ui::localizedString("erase"));
  acceptButton_ = new QPushButton(ui::localizedString("accept"));
  for (QPushButton* b : {eraseButton_, acceptButton_}) {
    b->setFlat(true);
    b->setFont(medium);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }
  // Their own light background, so the accent text keeps 6.5:1 whatever
  // the screen's style does to the panel's palette; disabled grey 4.6:1.
  const QString onPanel = ui::namedColor(QStringLiteral("LightGrayColor")).name();
  const QString ring = ui::focusRing(QLatin1String(ui::kFocusOnLight));
  eraseButton_->setStyleSheet(
      QStringLiteral("QPushButton { color: %1; background: %2; border: none; } ").arg(accent.name(), onPanel) + ring);
  acceptButton_->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: none; } "
                                              "QPushButton:disabled { color: #6C6C70; } ")
                                   .arg(accent.name(), onPanel) +
                               ring);
  // Return accepts once the signature is long enough; Escape closes.
  ui::ModalOverlay::setKeyButtons(this, acceptButton_, close);
  buttonRow->addWidget(eraseButton_);
  buttonRow->addWidget(divider(Qt::Vertical));
  buttonRow->addWidget(acceptButton_);

  auto* column = new QVBoxLayout(panel_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(header);
  column->addWidget(divider(Qt::Horizontal));
  column->addWidget(canvasBox, 1);
  column->addWidget(divider(Qt::Horizontal));
  column->addWidget(buttons);
  if (drawerModel_.allowConfirmWithoutDrawing) {
    // For a signer who cannot draw: reachable with Tab, pressed with Space.
    withoutDrawingButton_ = new QPushButton(ui::localizedString("confirm-without-drawing"));
    withoutDrawingButton_->setObjectName(QStringLiteral("confirmWithoutDrawingButton"));
    withoutDrawingButton_->setFlat(true);
    withoutDrawingButton_->setFont(medium);
    withoutDrawingButton_->setMinimumHeight(48);
    withoutDrawingButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: %2; border: none; } ").arg(accent.name(), onPanel) + ring);
    ui::nameForAccessibility(withoutDrawingButton_, "confirm-without-drawing",
                             "a11y_confirm_without_drawing_description");
    column->addWidget(divider(Qt::Horizontal));
    column->addWidget(withoutDrawingButton_);
    connect(withoutDrawingButton_, &QPushButton::clicked, this, [this] {
      if (withoutDrawingAction_) withoutDrawingAction_();
    });
  }

  // The panel is centred with room around it.
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(24, 24, 24, 24);
  outer->addWidget(panel_);

  connect(close, &QAbstractButton::clicked, this, [this] {
    if (dimissAction_) dimissAction_();
  });
  connect(eraseButton_, &QPushButton::clicked, this, &SignatureDrawerView::erase);
  connect(acceptButton_, &QPushButton::clicked, this, &SignatureDrawerView::accept);
  updateAcceptButton();
  // The keyboard starts on the drawing area (a reader names it), then Erase,
  // Accept and the close control.
  canvasView_->setFocusPolicy(Qt::StrongFocus);
  setTabOrder(canvasView_, eraseButton_);
  setTabOrder(eraseButton_, acceptButton_);
  setTabOrder(acceptButton_, withoutDrawingButton_ ? static_cast<QWidget*>(withoutDrawingButton_) : close);
  if (withoutDrawingButton_) setTabOrder(withoutDrawingButton_, close);
}

float SignatureDrawerView::progressBarValue() const { return progressBar_->value(); }
QColor SignatureDrawerView::progressBarColor() const { return progressBar_->color(); }

void SignatureDrawerView::updateAcceptButton() {
  acceptButton_->setEnabled(core::capture::acceptEnabled(progressBar_->value()));
}

void SignatureDrawerView::erase() {
  canvasView_->clearDrawing();
  progressBar_->setValue(0);
  progressBar_->setColor(Qt::transparent);
  updateAcceptButton();
}

void SignatureDrawerView::accept() {
  // Enabled only from 25 points, but a host may click it programmatically.
  if (!core::capture::acceptEnabled(progressBar_->value())) return;
  const QImage image = canvasView_->renderDrawing(canvasView_->devicePixelRatioF());

  core::capture::BiometricRecordInputs in;
  const QScreen* s = canvasView_->screen() ? canvasView_->screen() : QGuiApplication::primaryScreen();
  if (s) {
    in.screenWidth = s->geometry().width();
    in.screenHeight = s->geometry().height();
  }
  const QRect frame = canvasView_->geometry();
  in.canvasFrame = Rect{static_cast<double>(frame.x()), static_cast<double>(frame.y()),
                        static_cast<double>(frame.width()), static_cast<double>(frame.height())};
  in.timeStart = startedTime_;
  in.timeEnd = std::chrono::system_clock::now();
  in.documentPath = drawerModel_.url;
  in.hostVersion = hostVersion().toStdString();
  in.location = locationManager_->lastFix();
  in.strokes = canvasView_->strokes();
  if (drawerModel_.recordPenPressure) in.pressureScale = core::capture::BiometricRecordWriter::kPressureScale;
  const std::string record =
      core::capture::BiometricRecordWriter::encodeRecord(core::capture::BiometricRecordWriter::buildRecord(in));
  if (acceptAction_) acceptAction_(image, record);
}

core::capture::DeviceOrientation SignatureDrawerView::orientationOf(const QScreen* screen) {
  using core::capture::DeviceOrientation;
  if (!screen) return core::capture::DeviceOrientation::unknown;
  switch (screen->orientation()) {
    case Qt::PortraitOrientation:
      return core::capture::DeviceOrientation::portrait;
    case Qt::InvertedPortraitOrientation:
      return core::capture::DeviceOrientation::portraitUpsideDown;
    case Qt::LandscapeOrientation:
      return core::capture::DeviceOrientation::landscapeLeft;
    case Qt::InvertedLandscapeOrientation:
      return core::capture::DeviceOrientation::landscapeRight;
    default:
      return core::capture::DeviceOrientation::unknown;
  }
}

void SignatureDrawerView::orientationChanged(core::capture::DeviceOrientation orientation) {
  if (core::capture::orientationChangeClearsDrawing(isLandscape_, orientation)) canvasView_->clearDrawing();
  isLandscape_ = core::capture::isLandscape(orientation);
}

void SignatureDrawerView::followScreen(QScreen* s) {
  disconnect(screenConnection_);
  if (!s) return;
  screenConnection_ = connect(s, &QScreen::orientationChanged, this,
                              [this, s](Qt::ScreenOrientation) { orientationChanged(orientationOf(s)); });
}

void SignatureDrawerView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (drawerModel_.requestUserLocation) {
    locationManager_->requestWhenInUseAuthorization();
    if (locationManager_->locationServicesEnabled()) locationManager_->startUpdatingLocation();
  }
  isLandscape_ = core::capture::isLandscape(orientationOf(screen()));
  log(isLandscape_ ? "true" : "false");
  followScreen(screen());
  if (QWindow* w = window()->windowHandle())
    connect(w, &QWindow::screenChanged, this, &SignatureDrawerView::followScreen, Qt::UniqueConnection);
}

void SignatureDrawerView::resizeEvent(QResizeEvent* event) {
  // The room around the panel shrinks with the screen, so the panel keeps
  // nearly all of a small window too.
  const int margin = std::clamp(std::min(width(), height()) / 40, 6, 24);
  layout()->setContentsMargins(margin, margin, margin, margin);
  QWidget::resizeEvent(event);
}

void SignatureDrawerView::paintEvent(QPaintEvent*) {
  // A light veil over the presenter, so the panel stands out.
  QPainter p(this);
  p.fillRect(rect(), QColor(0, 0, 0, 60));
}

}  // namespace penvora::qt::capture
