#pragma once
#include <openssl/cms.h>
#include <openssl/x509.h>

#include <string>

namespace penvora::core::verifier {

// How the signed attributes tie the signer to its certificate, and
// whether that certificate may sign.
struct SignerBinding {
  // The signing-certificate(-v2) attribute: "bound" (its hash is this
  // certificate's), "mismatch" (it names another) or "absent".
  std::string attribute;
  bool keyUsageAllowsSigning = true;  // digitalSignature or nonRepudiation, or no key usage at all
};

// The certificate among `certs` that the signer info names; null when none.
X509* signerCertificate(CMS_SignerInfo* si, STACK_OF(X509) * certs);

SignerBinding checkSignerBinding(CMS_SignerInfo* si, X509* cert);

}  // namespace penvora::core::verifier
