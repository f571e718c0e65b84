#include "qt/document/PenvoraSDKSignatureViewController.hpp"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPdfDocument>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <utility>

#include "penvora/ErrorTexts.hpp"
#include "qt/document/DocumentReadAhead.hpp"
#include "qt/document/PDFTextSearch.hpp"
#include "qt/document/SignaturePlacement.hpp"
#include "qt/ui/InsertPasswordPDFView.hpp"
#include "qt/ui/LoadingDocumentsView.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/ModalOverlay.hpp"
#include "qt/ui/XIBLocalizable.hpp"
#include "ui_PenvoraSDKSignatureViewController.h"

namespace penvora::qt::document {
namespace {

// After a page's picture arrives, before its text is read out: reading it
// loads the page in the renderer again, under the renderer's lock.
constexpr int kAnnounceAfterDrawnMs = 50;

QString trimmed(const std::string& s) { return QString::fromStdString(s).trimmed(); }

// A text with a scheme is a URL; anything else is a path.
QString localPathOf(const std::string& entry) {
  QString text = QString::fromStdString(entry);
  const QUrl url(text, QUrl::StrictMode);
  if (url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1)
    return url.isLocalFile() ? url.toLocalFile() : QString();  // only files can be opened here
  return text;
}

// The documents a request names: its single path when it gives one, which
// then stands for the whole list.
std::vector<std::string> documentEntries(const PenvoraSDKFileProperties& files) {
  if (!trimmed(files.documentPath).isEmpty()) return {files.documentPath};
  return files.documentUris;
}

}  // namespace

PenvoraSDKSignatureViewController::PenvoraSDKSignatureViewController(std::shared_ptr<PenvoraSDKParams> params,
                                                                     QWidget* parent)
    : QWidget(parent),
      penvoraSDKParams(std::move(params)),
      temporaryDirectory(QDir::tempPath()),
      ui_(std::make_unique<Ui::PenvoraSDKSignatureViewController>()) {
  readDocumentAhead();  // while the widgets, then the fonts, are set up
  ui_->setupUi(this);
  ui_->backButton->setText(QStringLiteral("\u2039 ") + ui::localizedString("back"));
  ui::XIBLocalizable::applyXibLocKeys(this);
  ui_->stackViewConfirmButtons->hide();
  ui_->signingActivityIndicator->raise();
  connect(ui_->backButton, &QToolButton::clicked, this, [this] { touchUpInsideBackButton(); });
  connect(ui_->shareButton, &QToolButton::clicked, this, [this] { touchUpInsideShareButton(); });
  connect(ui_->signButton, &QPushButton::clicked, this, [this] { touchUpInsideCapureSignButton(); });
  connect(ui_->rejectButton, &QPushButton::clicked, this, [this] { touchUpInsideRejectButton(); });
  connect(ui_->acceptButton, &QPushButton::clicked, this, [this] { touchUpInsideAcceptButton(); });
  connect(ui_->cancelButton, &QPushButton::clicked, this, [this] { touchUpInsideCancelButton(); });
  // Taps and drags on the pages place the signature by hand.
  ui_->pdfView->viewport()->installEventFilter(this);
  // A finger or pen on the box or its icons moves the box; elsewhere it scrolls.
  ui_->pdfView->setDraggableHitTest([this](const QPointF& viewPoint) {
    const int page = ui_->pdfView->pageForPoint(viewPoint, true);
    return page >= 0 && annotationAt(page, ui_->pdfView->convertToPage(viewPoint, page)) != nullptr;
  });
  connect(ui_->pdfView, &NonSelectablePDFView::pageChanged, this, [this] { updatePageTitle(); });
  // The shown page's text is read out once its picture is on screen: a
  // moment later, so that the window paints the picture first.
  connect(ui_->pdfView, &NonSelectablePDFView::pageDrawn, this,
          [this] { QTimer::singleShot(kAnnounceAfterDrawnMs, this, [this] { announcePage(); }); });
  setUpAccessibility();
}

PenvoraSDKSignatureViewController::~PenvoraSDKSignatureViewController() {
  ui_->pdfView->setDocument(nullptr, nullptr);  // before the documents go
}

NonSelectablePDFView* PenvoraSDKSignatureViewController::pdfView() const { return ui_->pdfView; }
QWidget* PenvoraSDKSignatureViewController::signButton() const { return ui_->signButton; }
QWidget* PenvoraSDKSignatureViewController::rejectButton() const { return ui_->rejectButton; }
ui::InsertPasswordPDFView* PenvoraSDKSignatureViewController::passwordPanel() const { return passwordPanel_; }
ui::LoadingDocumentsView* PenvoraSDKSignatureViewController::loadingPanel() const { return loadingVC_; }
QString PenvoraSDKSignatureViewController::titleText() const {
  return ui_->toolbarTitle->property("fullText").toString();
}
QString PenvoraSDKSignatureViewController::subtitleText() const { return ui_->toolbarSubtitle->text(); }

void PenvoraSDKSignatureViewController::viewDidLoad() {
  styleScreen();
  // As a task of the event loop, so the screen is up before the work.
  QTimer::singleShot(0, this, [this] { openDocument(); });
}

void PenvoraSDKSignatureViewController::dismissThen(std::function<void()> report) {
  hide();
  if (QWidget* w = window(); w != this) w->hide();
  // The callback runs once the screen is gone, from the event loop.
  QTimer::singleShot(0, this, [this, report = std::move(report)] {
    // The host may delete its own window, and this screen with it, in
    // the callback.
    const QPointer<PenvoraSDKSignatureViewController> self(this);
    if (report) report();
    if (self) deleteLater();
  });
}

void PenvoraSDKSignatureViewController::endWith(std::function<void()> report) {
  if (reported_) return;
  reported_ = true;
  dismissThen(std::move(report));
}

void PenvoraSDKSignatureViewController::reportError(const std::optional<std::string>& message) {
  endWith([cb = errorCallback, message] {
    if (cb) cb(message);
  });
}

void PenvoraSDKSignatureViewController::readDocumentAhead() {
  if (!penvoraSDKParams || !penvoraSDKParams->fileProperties) return;
  const auto entries = documentEntries(*penvoraSDKParams->fileProperties);
  if (entries.size() != 1) return;  // several are merged first
  const QString path = localPathOf(entries.front());
  if (path.isEmpty()) return;
  try {
    readAheadDone_ = waitingForReadAhead_ = false;
    ahead_ = std::make_unique<DocumentReadAhead>(path.toStdString(), [this, ahead = ++readAheadsStarted_] {
      QMetaObject::invokeMethod(
          this,
          [this, ahead] {
            if (ahead != readAheadsStarted_) return;  // a later read-ahead's turn
            readAheadDone_ = true;
            // Not for a screen whose request has ended meanwhile.
            if (std::exchange(waitingForReadAhead_, false) && !reported_) openDocument();
          },
          Qt::QueuedConnection);
    });
  } catch (const std::exception&) {
    // No thread to be had: openDocument() opens it itself.
  }
}

std::optional<QString> PenvoraSDKSignatureViewController::loadDocuments() {
  auto& files = *penvoraSDKParams->fileProperties;
  files.documentUris = documentEntries(files);
  const auto n = files.documentUris.size();
  if (n == 0) {
    reportError(std::string(errortext::NoDocument));
    return std::nullopt;
  }
  if (n > 1 && penvoraSDKParams->widget->widgetType == PenvoraSDKWidgetType::manual &&
      !penvoraSDKParams->widget->invisibleSignature) {
    reportError(std::string(errortext::MultidocumentManual));
    return std::nullopt;
  }
  std::vector<std::string> paths;
  for (const auto& entry : files.documentUris) paths.push_back(localPathOf(entry).toStdString());
  if (n == 1) {
    documentPageInfos.clear();
    return QString::fromStdString(paths.front());
  }
  if (!loadingVC_) {
    // Merging blocks the main thread: the card goes up first and the merge
    // runs as a later task of the event loop, never inside it.
    showLoadingAlert(ui::localizedString("loading_documents"));
    return std::nullopt;
  }
  const core::document::MergeResult merged =
      core::document::mergeDocuments(paths, files.password, temporaryDirectory.toStdString());
  if (merged.status == core::document::MergeResult::Status::needsPassword) {
    needsMergePassword_ = true;
    return QString();
  }
  if (merged.status != core::document::MergeResult::Status::merged) {
    reportError(std::string(errortext::DocumentNotAccessible));
    return std::nullopt;
  }
  documentPageInfos = merged.pageInfos;
  currentDocumentPageStart = documentPageInfos.empty() ? 1 : documentPageInfos.back().lastPage + 1;
  return QString::fromStdString(merged.path);
}

void PenvoraSDKSignatureViewController::openDocument() {
  needsMergePassword_ = false;
  const auto path = loadDocuments();
  if (!path) return;
  if (needsMergePassword_) {
    hideLoadingAlert();
    showPasswordPanel();
    return;
  }
  if (ahead_ && ahead_->path() == path->toStdString() && !readAheadDone_ && !ahead_->ready()) {
    // The window paints meanwhile, rather than waiting blocked.
    waitingForReadAhead_ = true;
    return;
  }
  std::optional<DocumentReadAhead::Opened> ready;
  if (ahead_ && ahead_->path() == path->toStdString()) ready = ahead_->take();
  ahead_.reset();
  DocumentReadAhead::Opened opened;
  if (ready)
    opened = std::move(*ready);
  else
    opened.structure = core::document::PDFDocument::open(path->toStdString());
  auto& document = opened.structure;
  if (!document) {  // nothing is reported; the viewer stays empty
    hideLoadingAlert();
    return;
  }
  if (document->isLocked() && !document->unlockWithPassword(penvoraSDKParams->fileProperties->password)) {
    hideLoadingAlert();
    showPasswordPanel();
    return;
  }
  ui_->pdfView->setDocument(nullptr, nullptr);
  document_ = std::move(document);
  shownPath_ = *path;
  if (opened.rendering) {
    rendering_ = std::move(opened.rendering);
  } else {
    rendering_ = std::make_unique<QPdfDocument>();
    rendering_->setPassword(QString::fromStdString(document_->password()));
    rendering_->load(shownPath_);
  }
  text_ = std::make_unique<PDFTextSearch>(rendering_.get(), &*document_);

  const auto& title = penvoraSDKParams->commonProperties->title;
  setTitle(title ? QString::fromStdString(*title) : QFileInfo(shownPath_).fileName());

  ui_->pdfView->minScaleFactor = 0.5;
  ui_->pdfView->maxScaleFactor = 1.5;
  ui_->pdfView->setAutoScales(true);
  ui_->pdfView->setDocument(rendering_.get(), &*document_);
  hideLoadingAlert();
  updatePageTitle();

  if (const auto message = placement().validateWidget()) {
    reportError(message->toStdString());
    return;
  }
  showInitialPage();
  // Reading comes first: the keys scroll the pages from here.
  if (!ui::ModalOverlay::topmostIn(window())) ui_->pdfView->setFocus(Qt::OtherFocusReason);
  emit documentShown();
  if (auto image = std::exchange(pendingSignature_, std::nullopt)) placeCapturedSignature(*image);
}

SignaturePlacement PenvoraSDKSignatureViewController::placement() const {
  return SignaturePlacement(*document_, *text_, *penvoraSDKParams->widget);
}

void PenvoraSDKSignatureViewController::showInitialPage() {
  if (!document_) return;
  const auto& extra = *penvoraSDKParams->extra;
  const auto& common = *penvoraSDKParams->commonProperties;
  const auto& widget = *penvoraSDKParams->widget;
  if (extra.viewLastPage) return;
  const auto pages = static_cast<std::int64_t>(document_->pageCount());
  if (common.renderDefaultIndexPage && *common.renderDefaultIndexPage >= 0 && *common.renderDefaultIndexPage < pages) {
    ui_->pdfView->goToPage(static_cast<int>(*common.renderDefaultIndexPage));
    return;
  }
  if (widget.widgetType == PenvoraSDKWidgetType::field) {
    if (const auto field = placement().signatureField()) {
      const Rect& b = field->bounds;
      ui_->pdfView->goToRect(QRectF(b.x, b.y, b.width, b.height), static_cast<int>(field->pageIndex));
      return;
    }
  } else if (widget.widgetType == PenvoraSDKWidgetType::float_) {
    if (const auto found = text_->findFirst(QString::fromStdString(widget.widgetFloatText.value_or("")), literal)) {
      const Rect& b = found->bounds;
      ui_->pdfView->goToRect(QRectF(b.x, b.y, b.width, b.height), static_cast<int>(found->pageIndex));
    }
    return;
  }
  if (widget.widgetFixedPage && *widget.widgetFixedPage >= 1 && *widget.widgetFixedPage - 1 < pages)
    ui_->pdfView->goToPage(static_cast<int>(*widget.widgetFixedPage - 1));
}

void PenvoraSDKSignatureViewController::setTitle(const QString& title) {
  // One line, cut at the end when longer than the title's room.
  QLabel* label = ui_->toolbarTitle;
  label->setProperty("fullText", title);
  label->setToolTip(title);
  label->setText(label->fontMetrics().elidedText(title, Qt::ElideRight, label->maximumWidth()));
}

void PenvoraSDKSignatureViewController::updatePageTitle() {
  if (!document_) return;
  const int shown = ui_->pdfView->currentPage();
  const std::int64_t current = shown < 0 ? 1 : shown + 1;
  const auto total = static_cast<std::int64_t>(document_->pageCount());
  ui_->toolbarSubtitle->setText(ui::localizedString("Page") + ' ' + QString::number(current) + ' ' +
                                ui::localizedString("of") + ' ' + QString::number(total));
  announcePage();
  if (documentPageInfos.size() > 1)
    if (const auto title = core::document::mergedTitle(documentPageInfos, current))
      setTitle(QString::fromStdString(*title));
  auto& extra = *penvoraSDKParams->extra;
  if (extra.viewLastPage) {
    if (current == total) {
      extra.viewLastPage = false;
      ui_->signButton->setEnabled(true);
    } else {
      ui_->signButton->setEnabled(false);
    }
  }
}

void PenvoraSDKSignatureViewController::showLoadingAlert(const QString& text) {
  if (loadingVC_) return;
  loadingVC_ = new ui::LoadingDocumentsView(text, this);
  ui::ModalOverlay::cover(loadingVC_, this);
  loadingVC_->show();
  // Opening goes on once the card has been drawn; a screen that is not
  // drawn (hidden, minimised) waits a moment at most.
  auto resumed = std::make_shared<bool>(false);
  auto resume = [this, resumed] {
    if (std::exchange(*resumed, true)) return;
    openDocument();
  };
  connect(
      loadingVC_, &ui::LoadingDocumentsView::painted, this, [this, resume] { QTimer::singleShot(0, this, resume); },
      Qt::SingleShotConnection);
  QTimer::singleShot(300, this, resume);
}

void PenvoraSDKSignatureViewController::hideLoadingAlert() {
  if (!loadingVC_) return;
  loadingVC_->hide();
  loadingVC_->deleteLater();
  loadingVC_.clear();
}

void PenvoraSDKSignatureViewController::showPasswordPanel() {
  // The user is rejecting: the password is asked for only once they turn
  // back to the document, not laid over the reason they are typing.
  // Queued: the dialog is still being destroyed when it says so.
  if (rejectDialog_) {
    connect(
        rejectDialog_, &QObject::destroyed, this,
        [this] {
          if (!reported_) showPasswordPanel();
        },
        Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
    return;
  }
  auto* panel = new ui::InsertPasswordPDFView(
      [this](const std::string& password) {
        if (passwordPanel_) ui::ModalOverlay::dismiss(passwordPanel_);
        passwordPanel_.clear();
        penvoraSDKParams->fileProperties->password = password;
        passwordTyped_ = true;
        QTimer::singleShot(0, this, [this] { openDocument(); });
      },
      [this] {
        if (passwordPanel_) ui::ModalOverlay::dismiss(passwordPanel_);
        passwordPanel_.clear();
        reportError(ui::localizedString(errorkey::IncorrectPDFPassword).toStdString());
      },
      this);
  // Back after a typed password: say so, or the user cannot tell it was wrong.
  if (passwordTyped_) panel->showProblem(ui::localizedString(errorkey::IncorrectPDFPassword));
  passwordPanel_ = panel;
  ui::ModalOverlay::cover(panel, this);
  panel->show();
  panel->passwordField()->setFocus();
}

}  // namespace penvora::qt::document
