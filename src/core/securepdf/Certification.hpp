#pragma once
#include <optional>

#include <qpdf/QPDF.hh>

namespace penvora::core::securepdf {

// The DocMDP permission (1 no changes, 2 form filling and signing, 3 also
// annotations) of a certified document, read from the catalog's
// /Perms /DocMDP signature; none when the document is not certified.
std::optional<int> certificationPermission(QPDF& pdf);

}  // namespace penvora::core::securepdf
