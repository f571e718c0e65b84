#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace penvora {

// The three ways a request ends. Exactly one runs per request (none when
// the user leaves with the back button), on the main thread, after the
// component's windows are gone.
//
// Success: the signed files (one per input), or, in metadata mode, an
// empty list, the signature picture's path, the record's summary and the
// protected record.
using SuccessCallback = std::function<void(
    const std::vector<std::string>& signedFiles, const std::optional<std::string>& imageFile,
    const std::optional<std::string>& biometricHeader, const std::optional<std::string>& protectedRecord)>;
// Reject: the reason the user typed.
using RejectCallback = std::function<void(const std::string& reason)>;
// Error: the message (see ErrorTexts.hpp for the full list).
using ErrorCallback = std::function<void(const std::optional<std::string>& message)>;

}  // namespace penvora
