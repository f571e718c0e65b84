#include "core/document/SourceOpener.hpp"

#include <utility>

#include "core/util/BoundedFile.hpp"

namespace penvora::core::document {
namespace {

// Sources open at once beyond the one being written: enough to keep the
// second thread busy, few enough that a long list is not all in memory.
constexpr std::size_t kAhead = 2;

}  // namespace

SourceOpener::SourceOpener(std::vector<std::string> paths, std::string password)
    : paths_(std::move(paths)), password_(std::move(password)), opened_(paths_.size()), thread_([this] { run(); }) {}

SourceOpener::~SourceOpener() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

SourceOpener::Opened SourceOpener::take(std::size_t index) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return opened_[index].has_value(); });
  Opened out = std::move(*opened_[index]);
  opened_[index].reset();
  taken_ = index + 1;
  lock.unlock();
  changed_.notify_all();
  return out;
}

void SourceOpener::dispose(PDFDocument document) {
  {
    std::lock_guard lock(mutex_);
    disposals_.push_back(std::move(document));
  }
  changed_.notify_all();
}

void SourceOpener::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock,
                  [&] { return stop_ || !disposals_.empty() || (next_ < paths_.size() && next_ < taken_ + kAhead); });
    if (!disposals_.empty()) {
      std::vector<PDFDocument> done = std::move(disposals_);
      disposals_.clear();
      lock.unlock();
      done.clear();
      lock.lock();
      continue;
    }
    if (stop_) return;
    const std::size_t index = next_++;
    lock.unlock();
    Opened opened = open(paths_[index]);
    lock.lock();
    opened_[index] = std::move(opened);
    changed_.notify_all();
  }
}

SourceOpener::Opened SourceOpener::open(const std::string& path) const {
  Opened s;
  try {
    // The opening says why a path is no document (missing, a folder, a
    // pipe); only a readable regular file is then parsed.
    try {
      util::RegularFile check(path, "The source");
    } catch (const util::FileReadError& e) {
      s.unreadable = e.what();
      return s;
    }
    s.document = PDFDocument::open(path, &s.problem);
    if (s.document && s.document->isLocked()) s.document->unlockWithPassword(password_);
  } catch (const std::exception& e) {
    s.document.reset();
    s.unreadable = std::string("The source cannot be read: ") + path + " (" + e.what() + ")";
  }
  return s;
}

}  // namespace penvora::core::document
