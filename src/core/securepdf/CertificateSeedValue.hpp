#pragma once
#include <optional>
#include <string>

#include <qpdf/QPDFObjectHandle.hh>

#include "core/securepdf/Certificate.hpp"

namespace penvora::core::securepdf {

// What a field's certificate seed value (/SV /Cert) requires of the signing
// identity and it does not meet, as a phrase for "requires ..."; nothing
// when every required entry is met. Required entries are those its /Ff
// flags: the certificate itself (/Subject), its subject's attributes
// (/SubjectDN), its key usage (/KeyUsage), an issuer on its chain
// (/Issuer) and, with that, a certificate policy (/OID). A required /URL
// (a service to obtain a certificate from) cannot be met here.
std::optional<std::string> unmetCertificateSeedValue(QPDFObjectHandle seed, const Certificate& identity);

}  // namespace penvora::core::securepdf
