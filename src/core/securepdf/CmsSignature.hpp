#pragma once
#include <openssl/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/securepdf/Certificate.hpp"
#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// One custom signed attribute: dotted identifier and the DER of its value.
struct CustomAttribute {
  std::string oid;
  util::Bytes valueDer;
};

// Parses "OID=HEX" lines separated by CR LF (or LF). Throws SecurePdfError.
std::vector<CustomAttribute> parseCustomAttributes(const std::string& text);

// The digest for a hash-algorithm name ("SHA256", "SHA384", "SHA512",
// also "SHA-512" and lower case). Throws SecurePdfError for others.
const EVP_MD* digestNamed(const std::string& name);

// A CAdES detached SignedData over a precomputed content digest: signed
// attributes content-type, message-digest, signing-certificate-v2 and the
// custom ones, no signing time (the PDF's /M carries the claimed time),
// the signer's chain. `timestamp`, when set, receives the signature value
// and returns a time-stamp token (DER) for the unsigned attributes.
util::Bytes buildCmsSignature(const Certificate& signer, const std::string& hashAlgorithm,
                              const util::Bytes& contentDigest, const std::vector<CustomAttribute>& attributes,
                              const std::function<util::Bytes(const util::Bytes& signatureValue)>& timestamp = {});

// The size of what buildCmsSignature makes for these inputs (without a
// time-stamp), found without using the private key: the room a signature
// needs is known before the document is hashed.
std::size_t cmsSignatureSize(const Certificate& signer, const std::string& hashAlgorithm, std::size_t digestSize,
                             const std::vector<CustomAttribute>& attributes);

}  // namespace penvora::core::securepdf
