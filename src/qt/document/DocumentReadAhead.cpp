#include "qt/document/DocumentReadAhead.hpp"

#include <QString>
#include <QThread>
#include <system_error>
#include <utility>

namespace penvora::qt::document {
namespace {

// The renderer's document of `path`, handed to `owner`'s thread once
// loaded and once `usable` (asked after the load) has agreed; until then
// it is only the loading thread's.
std::unique_ptr<QPdfDocument> loadRendering(const std::string& path, QThread* owner,
                                            const std::function<bool()>& usable) {
  auto rendering = std::make_unique<QPdfDocument>();
  const bool loaded = rendering->load(QString::fromStdString(path)) == QPdfDocument::Error::None;
  if (!usable() || !loaded) return nullptr;
  rendering->moveToThread(owner);  // from here only the screen's thread uses it
  return rendering;
}

}  // namespace

DocumentReadAhead::DocumentReadAhead(std::string path, std::function<void()> done)
    : path_(std::move(path)),
      opened_(std::async(std::launch::async, [p = path_, owner = QThread::currentThread(), done = std::move(done)] {
        // Once the result is set, whatever way the work ends.
        struct Finally {
          const std::function<void()>& call;
          ~Finally() {
            try {
              if (call) call();
            } catch (...) {
              // Out of memory even for posting this: ending the host's
              // process would be worse than a screen left waiting.
            }
          }
        } finally{done};
        // The renderer loads the file alongside the page tree's parse once
        // the file has passed the checks against bombs; its document stays
        // that worker's until the parse has found the file usable. (The
        // promise goes first, whatever way the parse ends, so the worker
        // is not left waiting for it.)
        std::future<std::unique_ptr<QPdfDocument>> loading;
        std::promise<bool> usable;
        Opened out;
        out.structure = core::document::PDFDocument::open(p, nullptr, [&] {
          try {
            loading = std::async(std::launch::async, [p, owner, verdict = usable.get_future()]() mutable {
              return loadRendering(p, owner, [&] { return verdict.get(); });
            });
          } catch (const std::system_error&) {
            // No second thread: the renderer loads after the parse.
          }
        });
        const bool readable = out.structure && !out.structure->isLocked();
        if (readable) (void)out.structure->allPageBoxes();  // the viewer's layout reads them all
        usable.set_value(readable);
        if (loading.valid()) {
          out.rendering = loading.get();
          return out;
        }
        if (readable) out.rendering = loadRendering(p, owner, [] { return true; });
        return out;
      })) {}

bool DocumentReadAhead::ready() const { return opened_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }

std::optional<DocumentReadAhead::Opened> DocumentReadAhead::take() {
  try {
    return opened_.get();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace penvora::qt::document
