#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/document/PDFDocument.hpp"

namespace penvora::core::document {

// Opens a merge's sources in order on a second thread, a couple ahead of
// the one being written, and frees those handed back: parsing the next
// source and freeing the last one's model then take no time from writing.
class SourceOpener {
 public:
  struct Opened {
    std::optional<PDFDocument> document;  // none when not a readable PDF
    std::string unreadable;               // why the file could not be read, if so
    std::string problem;                  // without a document: what its reading found, if anything
  };

  // A locked source is unlocked with `password` when it opens with it.
  SourceOpener(std::vector<std::string> paths, std::string password);
  ~SourceOpener();  // stops, frees what is left, and waits for the thread
  SourceOpener(const SourceOpener&) = delete;
  SourceOpener& operator=(const SourceOpener&) = delete;

  // The source at `index`, waiting until it is open; each index once, in order.
  Opened take(std::size_t index);
  // Frees `document` on the second thread.
  void dispose(PDFDocument document);

 private:
  void run();
  Opened open(const std::string& path) const;

  const std::vector<std::string> paths_;
  const std::string password_;
  std::vector<std::optional<Opened>> opened_;
  std::vector<PDFDocument> disposals_;
  std::size_t next_ = 0, taken_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;  // last: started once the rest is ready
};

}  // namespace penvora::core::document
