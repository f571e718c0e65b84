#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

#include "penvora/Export.hpp"
#include "penvora/PenvoraSDKParams.hpp"

namespace penvora {

// The decoding error of the JSON form: which rule failed and for which key.
class PENVORA_EXPORT DecodingError : public std::runtime_error {
 public:
  enum class Kind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

  DecodingError(Kind kind, std::string codingPath, const std::string& detail);

  Kind kind() const { return kind_; }
  // Dotted path of the offending key from the decoded root, e.g.
  // "widget.widgetCustomText[1].fontSize"; empty for the root itself.
  const std::string& codingPath() const { return codingPath_; }
  // The last key of the path (the offending key).
  std::string key() const;

 private:
  Kind kind_;
  std::string codingPath_;
};

PENVORA_EXPORT const char* toString(DecodingError::Kind kind);

// Decode one class from JSON text. Throws DecodingError; on failure no
// object is produced. Unknown keys are ignored.
template <typename T>
T decodeJson(std::string_view text);

template <>
PENVORA_EXPORT PenvoraSDKParams decodeJson<PenvoraSDKParams>(std::string_view);
template <>
PENVORA_EXPORT PenvoraSDKFileProperties decodeJson<PenvoraSDKFileProperties>(std::string_view);
template <>
PENVORA_EXPORT PenvoraSDKCommonProperties decodeJson<PenvoraSDKCommonProperties>(std::string_view);
template <>
PENVORA_EXPORT PenvoraSDKWidget decodeJson<PenvoraSDKWidget>(std::string_view);
template <>
PENVORA_EXPORT PenvoraSDKWidgetCustomText decodeJson<PenvoraSDKWidgetCustomText>(std::string_view);
template <>
PENVORA_EXPORT PenvoraSDKTSP decodeJson<PenvoraSDKTSP>(std::string_view);
template <>
PENVORA_EXPORT PenvoraSDKExtra decodeJson<PenvoraSDKExtra>(std::string_view);
template <>
PENVORA_EXPORT PenvoraSDKCertificate decodeJson<PenvoraSDKCertificate>(std::string_view);

// The tree in its JSON form for people to read (every field, absent
// optionals as null) with passwords and key material masked, so it can be
// logged or printed safely.
PENVORA_EXPORT std::string redactedJson(const PenvoraSDKParams& params, int indent = 2);

}  // namespace penvora
