#pragma once
#include <QImage>
#include <QPdfDocument>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/document/PDFDocument.hpp"

namespace penvora::qt::document {

// Opens a document on two worker threads while the screen is still being
// built (its fonts registered, its widgets laid out): one parses it, the
// other loads it for drawing and, once the screen says at what size,
// draws its first page, so the screen's first picture does not wait for
// the renderer after the parse. The workers are waited for on destruction.
class DocumentReadAhead {
 public:
  struct Opened {
    // As core::document::PDFDocument::open gives it.
    std::optional<core::document::PDFDocument> structure;
    // Loaded for drawing when the document needs no password, and owned
    // by the thread that started the read-ahead; else none.
    std::unique_ptr<QPdfDocument> rendering;
    // The first page at the size drawFirstPage's sizer gave; null when it
    // was not drawn in time.
    QImage firstPage;
  };
  // The first page's picture size for pages of `points`, `pageCount` of
  // them. Called on the drawing thread: it must only read what it holds.
  using FirstPageSizer = std::function<QSize(QSizeF points, int pageCount)>;

  explicit DocumentReadAhead(std::string path);
  ~DocumentReadAhead();
  DocumentReadAhead(const DocumentReadAhead&) = delete;
  DocumentReadAhead& operator=(const DocumentReadAhead&) = delete;

  const std::string& path() const { return path_; }
  // Once the screen is laid out: the first page is drawn at the size
  // `sizer` gives, unless take() comes first.
  void drawFirstPage(FirstPageSizer sizer);
  // Call once. Nothing when a worker failed (out of memory, say): the
  // caller then opens the document itself, which reports what is wrong
  // the usual way, instead of an exception leaving a slot.
  std::optional<Opened> take();

 private:
  struct Drawing {
    std::unique_ptr<QPdfDocument> document;
    QImage firstPage;
  };
  // What the drawing thread waits for: a sizer, or being let go.
  struct Handover {
    std::mutex mutex;
    std::condition_variable changed;
    FirstPageSizer sizer;
    bool released = false;
  };
  void release();

  std::string path_;
  std::shared_ptr<Handover> handover_ = std::make_shared<Handover>();
  std::future<std::optional<core::document::PDFDocument>> structure_;
  std::future<Drawing> drawing_;
};

}  // namespace penvora::qt::document
