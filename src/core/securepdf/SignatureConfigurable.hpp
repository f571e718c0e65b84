#pragma once
#include <string>

namespace penvora::core::securepdf {

// What the biometric step needs of a signer: one configuration call taking
// a "Name=value" string, throwing on a bad one. The signing library's
// PDFSign implements it.
class SignatureConfigurable {
 public:
  virtual ~SignatureConfigurable() = default;
  virtual std::string config(const std::string& setting) = 0;
};

}  // namespace penvora::core::securepdf
