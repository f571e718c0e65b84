#include "qt/document/DocumentReadAhead.hpp"

#include <QString>
#include <QThread>
#include <utility>

namespace penvora::qt::document {

DocumentReadAhead::DocumentReadAhead(std::string path) : path_(std::move(path)) {
  structure_ = std::async(std::launch::async, [p = path_]() -> std::optional<core::document::PDFDocument> {
    auto structure = core::document::PDFDocument::open(p);
    if (structure && !structure->isLocked()) (void)structure->allPageBoxes();  // the viewer's layout reads them all
    return structure;
  });
  drawing_ = std::async(std::launch::async, [p = path_, owner = QThread::currentThread(), handover = handover_] {
    Drawing out;
    auto document = std::make_unique<QPdfDocument>();
    // A document that needs a password fails here and is loaded again
    // with it by the screen.
    if (document->load(QString::fromStdString(p)) != QPdfDocument::Error::None) return out;
    FirstPageSizer sizer;
    {
      std::unique_lock lock(handover->mutex);
      handover->changed.wait(lock, [&] { return handover->sizer || handover->released; });
      if (!handover->released) sizer = handover->sizer;
    }
    if (sizer && document->pageCount() > 0) {
      const QSize size = sizer(document->pagePointSize(0), document->pageCount());
      if (!size.isEmpty()) out.firstPage = document->render(0, size);
    }
    document->moveToThread(owner);  // from here only the screen's thread uses it
    out.document = std::move(document);
    return out;
  });
}

DocumentReadAhead::~DocumentReadAhead() { release(); }

void DocumentReadAhead::release() {
  {
    std::lock_guard lock(handover_->mutex);
    handover_->released = true;
  }
  handover_->changed.notify_all();
}

void DocumentReadAhead::drawFirstPage(FirstPageSizer sizer) {
  {
    std::lock_guard lock(handover_->mutex);
    if (handover_->released) return;
    handover_->sizer = std::move(sizer);
  }
  handover_->changed.notify_all();
}

std::optional<DocumentReadAhead::Opened> DocumentReadAhead::take() {
  // A page already being drawn is waited for; one not begun is not.
  {
    std::lock_guard lock(handover_->mutex);
    if (!handover_->sizer) handover_->released = true;
  }
  handover_->changed.notify_all();
  try {
    Opened out;
    out.structure = structure_.get();
    Drawing drawing = drawing_.get();
    if (out.structure && !out.structure->isLocked()) {
      out.rendering = std::move(drawing.document);
      out.firstPage = std::move(drawing.firstPage);
    }
    return out;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace penvora::qt::document
