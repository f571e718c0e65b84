#pragma once
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "penvora/Rect.hpp"

class QPdfDocument;

namespace penvora::qt::document {

// Where a text was found: the page and the match's box in page space
// (PDF points, y upwards, the same space as annotation rectangles).
struct PDFSelection {
  std::size_t pageIndex = 0;
  Rect bounds;
};

// The search options as the placement uses them.
enum FindOptions : int { caseInsensitive = 1, literal = 2 };

// Text search over a PDF's pages, rendered text as the reader sees it.
class PDFTextSearch {
 public:
  PDFTextSearch(const QString& path, const QString& password);
  // Over a document loaded elsewhere (the viewer's); not owned.
  explicit PDFTextSearch(QPdfDocument* loaded);
  ~PDFTextSearch();

  bool isLoaded() const;
  int pageCount() const;
  // Every match in reading order: pages in order, then along the page
  // text. An empty text finds nothing.
  std::vector<PDFSelection> findString(const QString& text, int options) const;
  // The first match only: pages after it are not read, and no other
  // match's box is asked for (the reader loads the page again for each).
  std::optional<PDFSelection> findFirst(const QString& text, int options) const;
  // A page's text as the reader sees it (read once), empty for a page the
  // document does not have.
  const QString& pageText(int page) const;

 private:
  std::vector<PDFSelection> find(const QString& text, int options, std::size_t limit) const;

  std::unique_ptr<QPdfDocument> owned_;
  QPdfDocument* doc_ = nullptr;
  // Page texts read once: the opening and every placement search again.
  mutable std::vector<std::optional<QString>> pageTexts_;
};

}  // namespace penvora::qt::document
