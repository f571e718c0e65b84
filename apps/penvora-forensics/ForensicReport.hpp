#pragma once
#include <string>
#include <vector>

#include "core/forensics/PenSignature.hpp"
#include "core/forensics/SignatureComparator.hpp"

namespace penvora::tools {

// What one report page shows.
struct ReportInputs {
  std::vector<std::string> referenceNames;
  std::string questionedName;
  std::vector<core::forensics::PenSignature> references;
  core::forensics::PenSignature questioned;
};

// Draws the one-page examiner's report into `path`: PDF when it ends in
// ".pdf", PNG when in ".png". The file appears complete or not at all; an
// existing one is replaced only with `overwrite`. Throws
// std::runtime_error with the reason.
void writeForensicReport(const ReportInputs& inputs, const std::string& path, bool overwrite);

}  // namespace penvora::tools
