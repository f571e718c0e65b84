#include "core/verifier/ChainValidator.hpp"

#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace penvora::core::verifier {

ChainResult validateChain(X509* cert, STACK_OF(X509) * untrusted, const TrustStore& trust, std::time_t at) {
  ChainResult out;
  auto store = trust.store();
  util::Owned<X509_STORE_CTX, X509_STORE_CTX_free> ctx(X509_STORE_CTX_new());
  if (!ctx || X509_STORE_CTX_init(ctx.get(), store.get(), cert, untrusted) != 1) {
    ERR_clear_error();
    out.status = ChainResult::Status::Invalid;
    out.problem = "cannot set up the chain check";
    return out;
  }
  X509_STORE_CTX_set_time(ctx.get(), 0, at);
  // An anchor may be an intermediate or the signer's own certificate, as
  // when a host trusts exactly one issuing CA or one signer.
  X509_STORE_CTX_set_flags(ctx.get(), X509_V_FLAG_PARTIAL_CHAIN);
  const bool ok = X509_verify_cert(ctx.get()) == 1;
  const int error = X509_STORE_CTX_get_error(ctx.get());
  if (STACK_OF(X509)* chain = X509_STORE_CTX_get1_chain(ctx.get())) out.chain.reset(chain);
  ERR_clear_error();
  if (ok) {
    out.status = ChainResult::Status::Valid;
    // The path ends at the first named anchor: what lies above it (a root
    // the CMS happens to carry) is not what the trust rests on.
    for (int i = 0; out.chain && i + 1 < sk_X509_num(out.chain.get()); ++i)
      if (trust.isAnchor(sk_X509_value(out.chain.get(), i))) {
        while (sk_X509_num(out.chain.get()) > i + 1) {
          const util::Owned<X509, X509_free> above(sk_X509_pop(out.chain.get()));
        }
        break;
      }
    return out;
  }
  out.problem = X509_verify_cert_error_string(error);
  switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      out.status = ChainResult::Status::NoChain;
      break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      out.status = ChainResult::Status::Expired;
      break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      out.status = ChainResult::Status::NotYetValid;
      break;
    default:
      out.status = ChainResult::Status::Invalid;
  }
  return out;
}

}  // namespace penvora::core::verifier
