#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/DocumentMerge.hpp"
#include "document/PDFDocument.hpp"
#include "interface/ESSParams.hpp"
#include "penvora/PenvoraSDKCallbacks.hpp"
#include "penvora/PenvoraSDKParams.hpp"

class QPdfDocument;

namespace Ui {
class PenvoraSDKSignatureViewController;
}

namespace penvora::ui {
class LoadingDocumentsView;
class InsertPasswordPDFView;
}  // namespace penvora::ui

namespace penvora::document {

class NonSelectablePDFView;
class PDFTextSearch;
class SignaturePlacement;

// The signing screen: opens (and merges) the request's documents, asks for
// a password while one is needed, shows the first page the request asks
// for and keeps the title and page counter current. Every outcome is
// reported after the screen is gone, exactly once.
class PenvoraSDKSignatureViewController : public QWidget {
  Q_OBJECT
 public:
  using SuccessCallback = penvora::SuccessCallback;
  using RejectCallback = penvora::RejectCallback;
  using ErrorCallback = penvora::ErrorCallback;

  explicit PenvoraSDKSignatureViewController(QWidget* parent = nullptr);
  ~PenvoraSDKSignatureViewController() override;

  std::shared_ptr<PenvoraSDKParams> penvoraSDKParams;
  std::shared_ptr<ESSParams> essParams;
  double sizeAuxPDFAnnotation = 40.0;
  double minSignatureHeight = 50.0;
  SuccessCallback successCallback;
  ErrorCallback errorCallback;
  RejectCallback rejectCallback;
  std::vector<DocumentPageInfo> documentPageInfos;
  std::int64_t currentDocumentPageStart = 1;
  // Where merged documents are written; the system's temporary folder.
  QString temporaryDirectory;

  // Starts the opening sequence (as showing the screen does).
  void viewDidLoad();
  void openDocument();
  void updatePageTitle();
  void showInitialPage();

  // Ends the request: the screen goes, then `report` runs (at most once).
  void dismissThen(std::function<void()> report);
  void reportError(const std::optional<std::string>& message);
  bool hasReported() const { return reported_; }

  // The document as shown (after opening), for placement and signing.
  const PDFDocument* document() const { return document_ ? &*document_ : nullptr; }
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
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The document to show: a path, or none after an error was reported.
  std::optional<QString> loadDocuments();
  void showLoadingAlert(const QString& text);
  void hideLoadingAlert();
  void showPasswordPanel();
  void fitOverlays();
  SignaturePlacement placement() const;

  std::unique_ptr<Ui::PenvoraSDKSignatureViewController> ui_;
  std::optional<PDFDocument> document_;
  std::unique_ptr<QPdfDocument> rendering_;
  std::unique_ptr<PDFTextSearch> text_;
  QString shownPath_;
  QPointer<ui::LoadingDocumentsView> loadingVC_;
  QPointer<ui::InsertPasswordPDFView> passwordPanel_;
  bool reported_ = false;
  bool needsMergePassword_ = false;
};

}  // namespace penvora::document
