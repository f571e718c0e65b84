#pragma once
#include <QString>
#include <string>
#include <vector>

namespace penvora::qt::document {

// Tells from a page's text runs (core::document::PageTextRuns) whether a
// searched text may be in the reader's text of that page. Both sides are
// compared in a coarse form, character by character: compatibility
// decomposition, no marks, no spaces, controls or hyphens, one kind of
// single and of double quote, and case folded for a search that ignores
// case. The reader puts the runs together whole, in some order, with
// spaces and line breaks between: so a match in its text is a tail of
// one run, whole runs, and a head of another, in coarse form.
class PageTextFilter {
 public:
  PageTextFilter(const QString& text, Qt::CaseSensitivity cs);

  // The coarse form of one run, case kept; what mayHold takes.
  static std::u32string coarse(const std::u32string& run);

  // False only when no tail, whole runs and head spell the text.
  bool mayHold(const std::vector<std::u32string>& coarseRuns) const;

 private:
  std::u32string text_;
  bool foldCase_;
};

}  // namespace penvora::qt::document
