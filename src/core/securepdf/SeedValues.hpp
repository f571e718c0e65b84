#pragma once
#include <openssl/evp.h>

#include <string>

#include <qpdf/QPDFObjectHandle.hh>

namespace penvora::core::securepdf {

class Certificate;

// A field's seed value dictionary (/SV) may make constraints required: the
// signature must then meet them or not be made. Throws SecurePdfError,
// naming the field and the constraint, when `signature` (its /Filter,
// /SubFilter and /Reason), its digest, its time-stamp (`timestamped`) or
// the signing identity's certificate does not meet one, or when one is
// required that this signer cannot meet (added revocation data, locking
// the document, a named appearance).
void checkSeedValues(QPDFObjectHandle field, const std::string& fieldName, QPDFObjectHandle signature,
                     const EVP_MD* digest, bool timestamped, const Certificate* identity);

}  // namespace penvora::core::securepdf
