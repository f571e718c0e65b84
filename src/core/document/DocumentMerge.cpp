#include "core/document/DocumentMerge.hpp"

#include <filesystem>
#include <optional>

#include "core/document/MergedPdfWriter.hpp"
#include "core/document/PDFDocument.hpp"
#include "core/document/SourceOpener.hpp"
#include "core/engine/ESS.hpp"
#include "core/securepdf/AtomicOutputFile.hpp"

namespace penvora::core::document {

MergeResult mergeDocuments(const std::vector<std::string>& paths, const std::string& password,
                           const std::string& folder) {
  MergeResult result;
  const std::string out = (std::filesystem::path(folder) / (engine::newUuidString() + ".pdf")).string();
  const auto cannotWrite = [&] {
    result.pageInfos.clear();
    result.message = "The merged file cannot be written in the folder " + folder;
    return result;
  };
  // Written as the sources are read, into a file that has no name until
  // it is whole: a failure leaves nothing.
  std::optional<securepdf::AtomicOutputFile> file;
  try {
    file.emplace(out, true);
  } catch (const std::exception&) {
    return cannotWrite();
  }
  MergedPdfWriter merged(*file);
  SourceOpener sources(paths, password);
  std::int64_t nextPage = 1;
  auto fail = [&](MergeResult::Status status, std::string message) {
    result.status = status;
    result.pageInfos.clear();
    result.message = std::move(message);
    return result;
  };
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    SourceOpener::Opened opened = sources.take(i);
    if (!opened.unreadable.empty()) return fail(MergeResult::Status::failed, opened.unreadable);
    auto& source = opened.document;
    if (!source)
      return fail(MergeResult::Status::failed, "The source is not a readable PDF: " + path +
                                                   (opened.problem.empty() ? "" : " (" + opened.problem + ")"));
    if (source->isLocked())
      return fail(
          MergeResult::Status::needsPassword,
          (password.empty() ? "The source needs a password: " : "The password does not open the source: ") + path);
    // The merged file is not encrypted: a source whose author restricts
    // what may be done with it (move its pages, change, sign or copy them)
    // would lose those restrictions there.
    if (!source->restrictsNothing())
      return fail(MergeResult::Status::failed,
                  "The source's permissions restrict what may be done with it, and a merged document would not keep "
                  "them (its owner's password would allow it): " +
                      path);
    const auto count = static_cast<std::int64_t>(source->pageCount());
    if (count == 0) continue;
    result.pageInfos.push_back(
        DocumentPageInfo{nextPage, nextPage + count - 1, std::filesystem::path(path).stem().string()});
    nextPage += count;
    try {
      source->appendPagesTo(merged);
    } catch (const MergedPdfWriter::OutputError&) {
      return cannotWrite();
    } catch (const std::exception& e) {
      return fail(MergeResult::Status::failed, "The source is not a readable PDF: " + path + " (" + e.what() + ")");
    }
    sources.dispose(std::move(*source));
  }
  if (merged.pageCount() < 1) {
    result.pageInfos.clear();
    result.message = paths.empty() ? "No source given" : "The sources have no pages";
    return result;
  }
  try {
    merged.finish();
    file->commit();
  } catch (const std::exception&) {
    return cannotWrite();
  }
  result.status = MergeResult::Status::merged;
  result.path = out;
  return result;
}

std::optional<std::string> mergedTitle(const std::vector<DocumentPageInfo>& infos, std::int64_t page) {
  if (infos.size() < 2) return std::nullopt;
  for (std::size_t i = 0; i < infos.size(); ++i)
    if (infos[i].contains(page))
      return "[" + std::to_string(i + 1) + "/" + std::to_string(infos.size()) + "]  " + infos[i].title;
  return std::nullopt;
}

}  // namespace penvora::core::document
