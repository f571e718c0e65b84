#include "core/securepdf/Certification.hpp"

namespace penvora::core::securepdf {

std::optional<int> certificationPermission(QPDF& pdf) {
  QPDFObjectHandle sig = pdf.getRoot().getKey("/Perms").getKey("/DocMDP");
  if (!sig.isDictionary()) return std::nullopt;
  QPDFObjectHandle refs = sig.getKey("/Reference");
  for (int i = 0; refs.isArray() && i < refs.getArrayNItems(); ++i) {
    QPDFObjectHandle ref = refs.getArrayItem(i);
    if (!ref.isDictionary() || !ref.getKey("/TransformMethod").isNameAndEquals("/DocMDP")) continue;
    QPDFObjectHandle p = ref.getKey("/TransformParams").getKey("/P");
    // An absent or unreadable level is taken as the default, 2.
    if (!p.isInteger()) return 2;
    const long long v = p.getIntValue();
    return v >= 1 && v <= 3 ? static_cast<int>(v) : 2;
  }
  // Certified without a readable transform: the strictest reading.
  return 1;
}

}  // namespace penvora::core::securepdf
