#include "qt/document/PDFTextSearch.hpp"

#include <QPdfDocument>
#include <QPdfSelection>
#include <cstdint>

namespace penvora::qt::document {

PDFTextSearch::PDFTextSearch(const QString& path, const QString& password)
    : owned_(std::make_unique<QPdfDocument>()), doc_(owned_.get()) {
  doc_->setPassword(password);
  doc_->load(path);
}

PDFTextSearch::PDFTextSearch(QPdfDocument* loaded) : doc_(loaded) {}

PDFTextSearch::~PDFTextSearch() = default;

bool PDFTextSearch::isLoaded() const { return doc_ && doc_->status() == QPdfDocument::Status::Ready; }

int PDFTextSearch::pageCount() const { return isLoaded() ? doc_->pageCount() : 0; }

std::vector<PDFSelection> PDFTextSearch::findString(const QString& text, int options) const {
  return find(text, options, SIZE_MAX);
}

std::optional<PDFSelection> PDFTextSearch::findFirst(const QString& text, int options) const {
  auto found = find(text, options, 1);
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::vector<PDFSelection> PDFTextSearch::find(const QString& text, int options, std::size_t limit) const {
  std::vector<PDFSelection> found;
  if (text.isEmpty() || !isLoaded()) return found;
  const Qt::CaseSensitivity cs = (options & FindOptions::caseInsensitive) && !(options & FindOptions::literal)
                                     ? Qt::CaseInsensitive
                                     : Qt::CaseSensitive;
  for (int page = 0; page < doc_->pageCount() && found.size() < limit; ++page) {
    const QString& pageText = this->pageText(page);
    // The reader reports boxes with y measured down from the top of the
    // page as shown (rotated, cropped); x is already page space. Its
    // height of the shown page turns them back into page space.
    const double shownHeight = doc_->pagePointSize(page).height();
    for (qsizetype at = pageText.indexOf(text, 0, cs); at >= 0 && found.size() < limit;
         at = pageText.indexOf(text, at + text.size(), cs)) {
      const QRectF r =
          doc_->getSelectionAtIndex(page, static_cast<int>(at), static_cast<int>(text.size())).boundingRectangle();
      if (r.isEmpty()) continue;
      found.push_back(PDFSelection{static_cast<std::size_t>(page),
                                   Rect{r.x(), shownHeight - r.y() - r.height(), r.width(), r.height()}});
    }
  }
  return found;
}

const QString& PDFTextSearch::pageText(int page) const {
  if (pageTexts_.size() != static_cast<std::size_t>(doc_->pageCount()))
    pageTexts_.assign(doc_->pageCount(), std::nullopt);
  static const QString none;
  if (page < 0 || page >= static_cast<int>(pageTexts_.size())) return none;
  auto& text = pageTexts_[static_cast<std::size_t>(page)];
  if (!text) text = doc_->getAllText(page).text();
  return *text;
}

}  // namespace penvora::qt::document
