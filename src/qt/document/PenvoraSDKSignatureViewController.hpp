#pragma once
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/document/DocumentMerge.hpp"
#include "core/document/PDFDocument.hpp"
#include "penvora/ESSParams.hpp"
#include "penvora/PenvoraSDKCallbacks.hpp"
#include "penvora/PenvoraSDKParams.hpp"
#include "qt/document/NonSelectablePDFView.hpp"
#include "qt/ui/RejectAlertViewController.hpp"

class QPdfDocument;

namespace Ui {
class PenvoraSDKSignatureViewController;
}

class QLabel;
class QKeyEvent;
class QToolButton;

namespace penvora::qt::capture {
class SignatureDrawerView;
}
namespace penvora::qt::ui {
class LoadingDocumentsView;
class InsertPasswordPDFView;
class InfoAlertViewController;
class RejectAlertViewController;
class UseDefaultCertDialog;
class CustomTextPrompt;
}  // namespace penvora::qt::ui

namespace penvora::qt::document {

class NonSelectablePDFView;
class PDFTextSearch;
class DocumentReadAhead;
class SignaturePlacement;
class ImageSignaturePDFAnnotation;
class ImageClosePDFAnnotation;
class ImageAcceptPDFAnnotation;
class ImageExpandPDFAnnotation;
class ImageIconPDFAnnotation;
class PlacementAnnotation;

// The signing screen: opens (and merges) the request's documents, asks for
// a password while one is needed, shows the first page the request asks
// for and keeps the title and page counter current; then captures the
// signature, places it (by the request's rule or by hand), picks the
// identity and signs. Every outcome is reported after the screen is gone,
// exactly once. Loading, manual placement and the signing flow live in
// their own source files.
class PenvoraSDKSignatureViewController : public QWidget, public ui::RejectAlertProtocol {
  Q_OBJECT
 public:
  using SuccessCallback = penvora::SuccessCallback;
  using RejectCallback = penvora::RejectCallback;
  using ErrorCallback = penvora::ErrorCallback;

  // Starts opening the request's single document on a worker thread, for
  // openDocument() to take, before anything of the screen is built.
  PenvoraSDKSignatureViewController(std::shared_ptr<PenvoraSDKParams> params, QWidget* parent);
  ~PenvoraSDKSignatureViewController() override;

  std::shared_ptr<PenvoraSDKParams> penvoraSDKParams;
  std::shared_ptr<ESSParams> essParams;
  double sizeAuxPDFAnnotation = 40.0;
  double minSignatureHeight = 50.0;
  SuccessCallback successCallback;
  ErrorCallback errorCallback;
  RejectCallback rejectCallback;
  std::vector<core::document::DocumentPageInfo> documentPageInfos;
  std::int64_t currentDocumentPageStart = 1;
  // Where merged documents are written; the system's temporary folder.
  QString temporaryDirectory;

  // Manual placement: the newest box and its controls (none before one is
  // placed), where the finger holds the resize handle (page space, from the
  // box's corner) and the drag in progress.
  std::shared_ptr<ImageSignaturePDFAnnotation> imageSignatureAnnotation;
  std::shared_ptr<ImageClosePDFAnnotation> imageCloseAnnotation;
  std::shared_ptr<ImageAcceptPDFAnnotation> imageAcceptAnnotation;
  std::shared_ptr<ImageExpandPDFAnnotation> imageExpandAnnotation;
  QPointF touchStart;
  bool isSelectedExpandAnnotation = false;
  bool isSelectedSignAnnotation = false;

  // Shares the shown document; by default a save-as dialog copies it.
  std::function<void(const QString& path)> shareAction;

  // Starts the opening sequence (as showing the screen does).
  void viewDidLoad();
  void openDocument();
  void updatePageTitle();
  void showInitialPage();

  // Signing flow.
  void touchUpInsideCapureSignButton();
  void showCapureSignatureAlert() { presentCapture(); }
  void touchUpInsideAcceptButton();
  void touchUpInsideCancelButton();
  void touchUpInsideRejectButton();
  void touchUpInsideShareButton();
  void touchUpInsideBackButton();
  // The capture panel's "Confirm without drawing": the box is placed as
  // for a request without a handwritten signature.
  void confirmWithoutDrawing();
  void presentCapture();
  void placeCapturedSignature(const QImage& image);
  void startSigning(bool askText);
  void askCustomTextOrSign(bool askText);
  void requestCustomText();
  void runSigningEngine();
  static QImage renderPlaceholderImage(const QString& text, QSizeF size);
  void reject(const std::string& reason) override;  // the reject dialog confirmed

  // Manual placement.
  void addSignatureAnnotation(const QImage& image);
  void placeCloseIcon(bool create, int rotation);
  void placeAcceptIcon(bool create, int rotation);
  void placeExpandIcon(bool create, int rotation);
  void moveSignature(int page, const QPointF& viewPoint);
  void resizeSignature(const QPointF& viewPoint);
  void autoScroll(double y);
  void removePlacementAnnotations();
  void showToast(const QString& text, double seconds);
  void rotated();
  int signaturePage() const { return signaturePage_; }

  // The keyboard's manual placement, through the arithmetic the drag uses:
  // the box moves by `shown` points as the user sees the page (x to the
  // right, y down), and grows by `shownHeight` points (shrinks when less
  // than zero) from its expand handle. Arrow keys step by kKeyStep, with
  // Shift by kKeyLargeStep; + and - by kKeyStep.
  static constexpr double kKeyStep = 5.0, kKeyLargeStep = 25.0;
  void moveSignatureBy(const QPointF& shown);
  void resizeSignatureBy(double shownHeight);
  // The box's three controls as focusable, named buttons over their icons
  // (none before a box is placed).
  QToolButton* closeControl() const { return closeControl_; }
  QToolButton* acceptControl() const { return acceptControl_; }
  QToolButton* expandControl() const { return expandControl_; }

  // What is on screen over the document, for tests and kiosk replays.
  capture::SignatureDrawerView* captureView() const;
  ui::CustomTextPrompt* customTextPrompt() const;
  ui::UseDefaultCertDialog* defaultCertDialog() const;
  ui::InfoAlertViewController* infoAlert() const;
  ui::RejectAlertViewController* rejectDialog() const;
  QLabel* toast() const;
  QWidget* confirmButtons() const;
  QWidget* acceptButton() const;
  QWidget* cancelButton() const;
  QWidget* shareButton() const;
  double signButtonOpacity() const;

  // Ends the request: the screen goes, then `report` runs (at most once).
  void dismissThen(std::function<void()> report);
  void reportError(const std::optional<std::string>& message);
  // The one end of a request: the screen goes, then `report` (if any) runs.
  void endWith(std::function<void()> report);
  bool hasReported() const { return reported_; }

  // The document as shown (after opening), for placement and signing.
  const core::document::PDFDocument* document() const { return document_ ? &*document_ : nullptr; }
  const PDFTextSearch* textSearch() const { return text_.get(); }
  QString documentPath() const { return shownPath_; }
  NonSelectablePDFView* pdfView() const;
  QWidget* signButton() const;
  QWidget* rejectButton() const;
  QString titleText() const;
  QString subtitleText() const;
  ui::InsertPasswordPDFView* passwordPanel() const;
  ui::LoadingDocumentsView* loadingPanel() const;

 signals:
  // The document is on screen and the widget passed its check.
  void documentShown();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A copy of the shown document at `target`, chosen in the share dialog.
  void saveCopyTo(const QString& target) const;
  // The document to show: a path, or none after an error was reported or
  // while the loading card goes up (opening then starts again).
  std::optional<QString> loadDocuments();
  void showLoadingAlert(const QString& text);
  void hideLoadingAlert();
  void showPasswordPanel();
  SignaturePlacement placement() const;
  void styleScreen();
  void setTitle(const QString& title);
  void fadeSignButton(bool in);
  void panned(QEvent::Type type, const QPointF& viewPoint);
  void tapped(const QPointF& viewPoint);
  std::shared_ptr<PlacementAnnotation> annotationAt(int page, const QPointF& pagePoint) const;
  void addOverlay(int page, std::shared_ptr<PageOverlay> overlay);
  int pageRotation(int page) const;
  Rect cropBox(int page) const;
  // Accessibility and keyboard (their own source file).
  void setUpAccessibility();
  void announcePage();
  bool placementKey(QKeyEvent* event);
  void placeIconControls();
  void iconsFollowBox();

  std::unique_ptr<Ui::PenvoraSDKSignatureViewController> ui_;
  std::optional<core::document::PDFDocument> document_;
  std::unique_ptr<QPdfDocument> rendering_;
  std::unique_ptr<PDFTextSearch> text_;
  void readDocumentAhead();
  std::unique_ptr<DocumentReadAhead> ahead_;
  int readAheadsStarted_ = 0;
  bool readAheadDone_ = false;        // its worker has finished (take() waits no longer than for the hand-over)
  bool waitingForReadAhead_ = false;  // openDocument() runs again when it has
  // A signature accepted before the document was on screen (the capture
  // panel opens as the screen appears): placed once it is.
  std::optional<QImage> pendingSignature_;
  QString shownPath_;
  QPointer<ui::LoadingDocumentsView> loadingVC_;
  QPointer<ui::InsertPasswordPDFView> passwordPanel_;
  bool reported_ = false;
  bool confirmedWithoutDrawing_ = false;  // the signer confirmed without drawing
  bool needsMergePassword_ = false;
  bool passwordTyped_ = false;  // the user typed a password at least once
  bool appeared_ = false;
  int signaturePage_ = -1;
  std::optional<QPointF> pressedAt_;  // where the current mouse drag began
  bool dragging_ = false;
  QPointer<capture::SignatureDrawerView> captureView_;
  QPointer<ui::CustomTextPrompt> customTextPrompt_;
  QPointer<ui::UseDefaultCertDialog> defaultCertDialog_;
  QPointer<ui::InfoAlertViewController> infoAlert_;
  QPointer<ui::RejectAlertViewController> rejectDialog_;
  QPointer<QLabel> toast_;
  QToolButton *closeControl_ = nullptr, *acceptControl_ = nullptr, *expandControl_ = nullptr;  // the viewport owns them
  int announcedPage_ = -1;
};

}  // namespace penvora::qt::document
