#pragma once
#include <QPdfDocument>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "core/document/PDFDocument.hpp"

namespace penvora::qt::document {

// Opens a document on a worker thread while the screen is still being
// built (its fonts registered, its widgets laid out), so both the parse and
// the renderer's load are done by the time the screen asks for the
// document. The worker is waited for on destruction (std::async's future
// does).
class DocumentReadAhead {
 public:
  struct Opened {
    // As core::document::PDFDocument::open gives it.
    std::optional<core::document::PDFDocument> structure;
    // Loaded for drawing when the document needs no password, and owned
    // by the thread that started the read-ahead; else none.
    std::unique_ptr<QPdfDocument> rendering;
  };

  // `done` is called on the worker as it finishes, just before the result
  // is handed over.
  DocumentReadAhead(std::string path, std::function<void()> done);
  DocumentReadAhead(const DocumentReadAhead&) = delete;
  DocumentReadAhead& operator=(const DocumentReadAhead&) = delete;

  const std::string& path() const { return path_; }
  // Whether take() would give the result without waiting.
  bool ready() const;
  // Call once. Nothing when the worker failed (out of memory, say): the
  // caller then opens the document itself, which reports what is wrong
  // the usual way, instead of an exception leaving a slot.
  std::optional<Opened> take();

 private:
  std::string path_;
  std::future<Opened> opened_;
};

}  // namespace penvora::qt::document
