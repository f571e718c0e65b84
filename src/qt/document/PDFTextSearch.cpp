#include "qt/document/PDFTextSearch.hpp"

#include <QPdfDocument>
#include <QPdfSelection>
#include <cstdint>

#include "core/document/PDFDocument.hpp"
#include "qt/document/PageTextFilter.hpp"

namespace penvora::qt::document {
namespace {

constexpr int kOpenStructureFromPages = 16;

}  // namespace

PDFTextSearch::PDFTextSearch(const QString& path, const QString& password, const core::document::PDFDocument* structure)
    : owned_(std::make_unique<QPdfDocument>()), doc_(owned_.get()), structure_(structure) {
  doc_->setPassword(password);
  doc_->load(path);
  if (!structure_) toOpen_ = {path.toStdString(), password.toStdString()};
}

PDFTextSearch::PDFTextSearch(QPdfDocument* loaded, const core::document::PDFDocument* structure)
    : doc_(loaded), structure_(structure) {}

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
  const PageTextFilter filter(text, cs);
  for (int page = 0; page < doc_->pageCount() && found.size() < limit; ++page) {
    if (const auto& runs = coarseRuns(page); runs && !filter.mayHold(*runs)) continue;
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

const core::document::PageTextRuns& PDFTextSearch::coarseRuns(int page) const {
  static const core::document::PageTextRuns cannotTell;
  // A short document is read by the renderer sooner than opened twice.
  if (toOpen_ && doc_->pageCount() >= kOpenStructureFromPages) {
    if (auto opened = core::document::PDFDocument::open(toOpen_->first);
        opened && opened->unlockWithPassword(toOpen_->second)) {
      ownedStructure_ = std::make_unique<core::document::PDFDocument>(std::move(*opened));
      structure_ = ownedStructure_.get();
    }
    toOpen_.reset();
  }
  // Both readers must see the same pages, or the runs would be another
  // page's (a damaged file each repairs its own way).
  if (!structure_ || page < 0 || structure_->pageCount() != static_cast<std::size_t>(doc_->pageCount()))
    return cannotTell;
  if (coarseRuns_.size() != static_cast<std::size_t>(doc_->pageCount()))
    coarseRuns_.assign(static_cast<std::size_t>(doc_->pageCount()), std::nullopt);
  auto& runs = coarseRuns_[static_cast<std::size_t>(page)];
  if (!runs) {
    runs = structure_->pageTextRuns(static_cast<std::size_t>(page));
    if (*runs)
      for (auto& run : **runs) run = PageTextFilter::coarse(run);
  }
  return *runs;
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
