#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/document/PageTextRuns.hpp"
#include "penvora/Rect.hpp"

class QPDF;
class QPDFAcroFormDocumentHelper;

namespace penvora::core::document {

class MergedPdfWriter;

// One annotation of a page; only widgets have a field type and name.
struct PDFAnnotation {
  std::size_t pageIndex = 0;
  std::string subtype;                   // "Widget", "Link", ...
  std::string widgetFieldType;           // "Sig", "Tx", "Btn", "Ch", or "" for non-fields
  std::optional<std::string> fieldName;  // fully qualified; none when the field has no name
  Rect bounds;                           // page space, normalised
  bool isSignatureWidget() const { return widgetFieldType == "Sig"; }
};

// One page's geometry.
struct PDFPage {
  std::size_t index = 0;  // from 0
  std::int64_t pageNumber() const { return static_cast<std::int64_t>(index) + 1; }
  int rotation = 0;  // 0, 90, 180 or 270, clockwise
  Rect mediaBox;     // page space
  Rect cropBox;      // the visible part; the media box when absent
  std::vector<PDFAnnotation> annotations;
};

// The structure of a PDF: pages, their boxes and annotations, and its
// pages for a merge. A document whose user password is not the empty one opens
// locked and shows no pages until unlocked.
class PDFDocument {
 public:
  ~PDFDocument();
  PDFDocument(PDFDocument&&) noexcept;
  PDFDocument& operator=(PDFDocument&&) noexcept;

  // None when the file is missing or not a PDF; `problem`, when given,
  // then receives what the reading found (empty for a missing file).
  // `measured`, when given, is called once the file's compressed streams
  // have been measured against bombs, before its page tree is read (the
  // longest part): from then on another reader may open it alongside.
  static std::optional<PDFDocument> open(const std::string& path, std::string* problem = nullptr,
                                         const std::function<void()>& measured = {});

  const std::string& path() const { return path_; }
  bool isLocked() const { return locked_; }
  // True when the password opens it (or it was not locked).
  bool unlockWithPassword(const std::string& password);
  // Whether its author restricts nothing a copy of its pages in another,
  // unencrypted document would lose: not encrypted, opened with its
  // owner's password, or every permission granted.
  bool restrictsNothing() const;
  const std::string& password() const { return password_; }

  std::size_t pageCount() const;
  std::optional<PDFPage> pageAtIndex(std::size_t index) const;
  // The page's rotation and boxes, without its annotations: what laying
  // out every page of a long document needs.
  std::optional<PDFPage> pageBoxesAtIndex(std::size_t index) const;
  // Every page's boxes, as pageBoxesAtIndex gives them, read once and kept
  // (until unlocked again): the viewer's layout of every page.
  const std::vector<std::optional<PDFPage>>& allPageBoxes() const;
  // The text the page's operators draw, run by run (see PageTextRuns):
  // what tells a text search which pages it need not read.
  PageTextRuns pageTextRuns(std::size_t index) const;
  // Every annotation of every page, pages in order, then /Annots order.
  std::vector<PDFAnnotation> annotations() const;

  // Appends all pages to `writer`; this document must stay open until the
  // writer is finished. Throws for a damaged page.
  void appendPagesTo(MergedPdfWriter& writer) const;

 private:
  PDFDocument();  // nothing open; open() fills it in

  // The form's field map is built once per walk, not once per page.
  std::optional<PDFPage> pageAt(std::size_t index, QPDFAcroFormDocumentHelper& form) const;

  // The file's bytes when read into memory; outlives pdf_, which reads them.
  std::shared_ptr<const std::string> bytes_;
  std::unique_ptr<QPDF> pdf_;
  std::string path_, password_;
  bool locked_ = false;
  mutable std::optional<std::vector<std::optional<PDFPage>>> boxes_;
  mutable std::unique_ptr<PageTextRunReader> textRuns_;  // reads pdf_, made when first asked
};

}  // namespace penvora::core::document
