#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include <qpdf/QPDF.hh>

#include "securepdf/IncrementalUpdate.hpp"

namespace penvora::securepdf {

// A document opened for an incremental update: the qpdf model, and the
// bytes the update follows (the file itself, or a one-time rewrite when
// the file needed repair).
struct DocumentSource {
  std::unique_ptr<QPDF> pdf;
  std::string path;
  std::shared_ptr<std::string> rewritten;  // set when repaired
  XrefTail tail;
  std::uint64_t originalSize = 0;
};

// Opens with the password. Throws SecurePdfError with a message for a
// missing, empty, non-PDF or damaged file and for a wrong password.
DocumentSource openForUpdate(const std::string& path, const std::string& password);

// Just the qpdf model (page probing, form reading).
std::unique_ptr<QPDF> openForReading(const std::string& path, const std::string& password);

}  // namespace penvora::securepdf
