#include "qt/document/DocumentReadAhead.hpp"

#include <utility>

namespace penvora::qt::document {

DocumentReadAhead::DocumentReadAhead(std::string path)
    : path_(std::move(path)), opened_(std::async(std::launch::async, [p = path_] {
        auto opened = core::document::PDFDocument::open(p);
        if (opened && !opened->isLocked()) (void)opened->allPageBoxes();  // the viewer's layout reads them all
        return opened;
      })) {}

std::optional<core::document::PDFDocument> DocumentReadAhead::take() { return opened_.get(); }

}  // namespace penvora::qt::document
