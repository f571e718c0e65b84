#include "core/verifier/Verdict.hpp"

#include <algorithm>

namespace penvora::core::verifier {

const char* indicationName(Indication i) {
  switch (i) {
    case Indication::TotalPassed:
      return "TOTAL-PASSED";
    case Indication::Indeterminate:
      return "INDETERMINATE";
    case Indication::TotalFailed:
      return "TOTAL-FAILED";
  }
  return "INDETERMINATE";
}

const char* subIndicationName(SubIndication s) {
  switch (s) {
    case SubIndication::None:
      return "";
    case SubIndication::FormatFailure:
      return "FORMAT_FAILURE";
    case SubIndication::HashFailure:
      return "HASH_FAILURE";
    case SubIndication::SigCryptoFailure:
      return "SIG_CRYPTO_FAILURE";
    case SubIndication::Revoked:
      return "REVOKED";
    case SubIndication::Expired:
      return "EXPIRED";
    case SubIndication::NotYetValid:
      return "NOT_YET_VALID";
    case SubIndication::NoSigningCertificateFound:
      return "NO_SIGNING_CERTIFICATE_FOUND";
    case SubIndication::NoCertificateChainFound:
      return "NO_CERTIFICATE_CHAIN_FOUND";
    case SubIndication::CertificateChainGeneralFailure:
      return "CERTIFICATE_CHAIN_GENERAL_FAILURE";
    case SubIndication::ChainConstraintsFailure:
      return "CHAIN_CONSTRAINTS_FAILURE";
    case SubIndication::SigConstraintsFailure:
      return "SIG_CONSTRAINTS_FAILURE";
    case SubIndication::OutOfBoundsNoPoe:
      return "OUT_OF_BOUNDS_NO_POE";
    case SubIndication::OutOfBoundsNotRevoked:
      return "OUT_OF_BOUNDS_NOT_REVOKED";
    case SubIndication::RevokedNoPoe:
      return "REVOKED_NO_POE";
    case SubIndication::RevokedCaNoPoe:
      return "REVOKED_CA_NO_POE";
    case SubIndication::TryLater:
      return "TRY_LATER";
  }
  return "";
}

Indication indicationOf(SubIndication s) {
  switch (s) {
    case SubIndication::None:
      return Indication::TotalPassed;
    case SubIndication::FormatFailure:
    case SubIndication::HashFailure:
    case SubIndication::SigCryptoFailure:
    case SubIndication::Revoked:
    case SubIndication::Expired:
    case SubIndication::NotYetValid:
      return Indication::TotalFailed;
    default:
      return Indication::Indeterminate;
  }
}

void VerdictBuilder::add(SubIndication s, std::string reason) {
  if (indicationOf(s) > verdict_.indication) verdict_ = {indicationOf(s), s, reason};
  findings_.push_back(std::move(reason));
}

Indication documentIndication(const std::vector<Indication>& signatures) {
  if (signatures.empty()) return Indication::Indeterminate;
  return *std::max_element(signatures.begin(), signatures.end());
}

}  // namespace penvora::core::verifier
