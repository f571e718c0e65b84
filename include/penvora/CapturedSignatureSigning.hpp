#pragma once
#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "penvora/Export.hpp"
#include "penvora/PenvoraSDKParams.hpp"

namespace penvora {

// What signing a captured signature gave: the signed PDFs, or an error
// text (one of penvora/ErrorTexts.hpp's, or a placement message).
struct CapturedSigningResult {
  std::vector<std::filesystem::path> signedFiles;
  std::string error;
  bool ok() const { return error.empty() && !signedFiles.empty(); }
};

// Signs a request's one document with a signature the host captured on a
// pad of its own (SignatureView, or the QML module's SignatureView item):
// the box is placed as the signing screen places it in field, fixed and
// float mode, the picture goes in as the box's appearance and `recordB64`
// (SignatureInk::record) as the biometric record. Manual mode needs the
// signing screen and is refused. Blocks while signing.
PENVORA_EXPORT CapturedSigningResult signCapturedSignature(const PenvoraSDKParams& params, const QImage& picture,
                                                           const std::string& recordB64);

}  // namespace penvora
