#pragma once
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/document/PageTextRuns.hpp"
#include "penvora/Rect.hpp"

class QPdfDocument;

namespace penvora::core::document {
class PDFDocument;
}

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
// Reading a page's text costs the reader a load of the page and its fonts;
// the pages whose text runs show the text cannot be there are not read.
class PDFTextSearch {
 public:
  // `structure`, when given, is the same file opened by the core (not
  // owned); otherwise it is opened here when the document is long.
  PDFTextSearch(const QString& path, const QString& password, const core::document::PDFDocument* structure = nullptr);
  // Over a document loaded elsewhere (the viewer's) and, when given, its
  // structure; neither owned.
  explicit PDFTextSearch(QPdfDocument* loaded, const core::document::PDFDocument* structure = nullptr);
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
  // The page's runs in coarse form (PageTextFilter), read once; none when
  // they cannot tell.
  const core::document::PageTextRuns& coarseRuns(int page) const;

  std::unique_ptr<QPdfDocument> owned_;
  QPdfDocument* doc_ = nullptr;
  mutable std::unique_ptr<core::document::PDFDocument> ownedStructure_;
  mutable const core::document::PDFDocument* structure_ = nullptr;
  mutable std::optional<std::pair<std::string, std::string>> toOpen_;  // path and password
  mutable std::vector<std::optional<core::document::PageTextRuns>> coarseRuns_;
  // Page texts read once: the opening and every placement search again.
  mutable std::vector<std::optional<QString>> pageTexts_;
};

}  // namespace penvora::qt::document
