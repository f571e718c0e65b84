#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace penvora::core::document {

// One source document inside the merged one.
struct DocumentPageInfo {
  std::int64_t firstPage = 0, lastPage = 0;  // from 1, inclusive
  std::string title;                         // file name without its extension
  bool contains(std::int64_t page) const { return page >= firstPage && page <= lastPage; }
  bool operator==(const DocumentPageInfo&) const = default;
};

struct MergeResult {
  enum class Status { merged, needsPassword, failed } status = Status::failed;
  std::string path;                         // the merged file, when merged
  std::vector<DocumentPageInfo> pageInfos;  // one per source with pages
  std::string message;                      // unless merged: which source or step failed, and why
};

// Merges the sources in order into one PDF named <UUID>.pdf in `folder`.
// Sources with no pages are left out; a source that cannot be opened, no
// pages at all or a failed write fail the whole merge. A source locked
// with a password other than `password` asks for one.
MergeResult mergeDocuments(const std::vector<std::string>& paths, const std::string& password,
                           const std::string& folder);

// "[i/m]  title" for the source holding `page`, or none with fewer than
// two sources.
std::optional<std::string> mergedTitle(const std::vector<DocumentPageInfo>& infos, std::int64_t page);

}  // namespace penvora::core::document
