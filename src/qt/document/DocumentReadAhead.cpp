#include "qt/document/DocumentReadAhead.hpp"

#include <QString>
#include <QThread>
#include <utility>

namespace penvora::qt::document {

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
        Opened out;
        out.structure = core::document::PDFDocument::open(p);
        if (!out.structure || out.structure->isLocked()) return out;
        (void)out.structure->allPageBoxes();  // the viewer's layout reads them all
        auto rendering = std::make_unique<QPdfDocument>();
        if (rendering->load(QString::fromStdString(p)) == QPdfDocument::Error::None) {
          rendering->moveToThread(owner);  // from here only the screen's thread uses it
          out.rendering = std::move(rendering);
        }
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
