#pragma once
#include <future>
#include <optional>
#include <string>

#include "core/document/PDFDocument.hpp"

namespace penvora::qt::document {

// Parses a document on a worker thread while the screen is still being
// built (its fonts registered, its widgets laid out), so the parse is done
// by the time the screen asks for the document. The worker is waited for
// on destruction (std::async's future does).
class DocumentReadAhead {
 public:
  explicit DocumentReadAhead(std::string path);
  DocumentReadAhead(const DocumentReadAhead&) = delete;
  DocumentReadAhead& operator=(const DocumentReadAhead&) = delete;

  const std::string& path() const { return path_; }
  // The opening, as core::document::PDFDocument::open gives it; call once.
  std::optional<core::document::PDFDocument> take();

 private:
  std::string path_;
  std::future<std::optional<core::document::PDFDocument>> opened_;
};

}  // namespace penvora::qt::document
