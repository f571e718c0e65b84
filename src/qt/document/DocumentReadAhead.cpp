#include "qt/document/DocumentReadAhead.hpp"

#include <utility>

namespace penvora::qt::document {

DocumentReadAhead::DocumentReadAhead(std::string path)
    : path_(std::move(path)), opened_(std::async(std::launch::async, [p = path_] {
        auto opened = core::document::PDFDocument::open(p);
        if (opened && !opened->isLocked()) (void)opened->allPageBoxes();  // the viewer's layout reads them all
        return opened;
      })) {}

DocumentReadAhead::~DocumentReadAhead() {
  if (opened_.valid()) opened_.wait();
}

std::optional<core::document::PDFDocument> DocumentReadAhead::take() {
  if (!opened_.valid()) return core::document::PDFDocument::open(path_);
  return opened_.get();
}

}  // namespace penvora::qt::document
