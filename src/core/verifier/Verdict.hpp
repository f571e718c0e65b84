#pragma once
#include <string>
#include <vector>

namespace penvora::core::verifier {

// The main indications of a signature validation, from best to worst.
enum class Indication { TotalPassed, Indeterminate, TotalFailed };

// The reasons a validation does not pass, in the terms back offices and
// other validators report them.
enum class SubIndication {
  None,
  FormatFailure,
  HashFailure,
  SigCryptoFailure,
  Revoked,
  Expired,
  NotYetValid,
  NoSigningCertificateFound,
  NoCertificateChainFound,
  CertificateChainGeneralFailure,
  ChainConstraintsFailure,
  SigConstraintsFailure,
  OutOfBoundsNoPoe,
  OutOfBoundsNotRevoked,
  RevokedNoPoe,
  RevokedCaNoPoe,
  TryLater,
};

const char* indicationName(Indication i);        // "TOTAL-PASSED", ...
const char* subIndicationName(SubIndication s);  // "HASH_FAILURE", ..., "" for None

// The main indication a sub-indication belongs to.
Indication indicationOf(SubIndication s);

struct Verdict {
  Indication indication = Indication::TotalPassed;
  SubIndication subIndication = SubIndication::None;
  std::string reason;  // the finding behind it, in words
};

// Collects the findings about one signature; the worst decides, and among
// equally bad ones the first.
class VerdictBuilder {
 public:
  void add(SubIndication s, std::string reason);
  const Verdict& verdict() const { return verdict_; }
  const std::vector<std::string>& findings() const { return findings_; }

 private:
  Verdict verdict_;
  std::vector<std::string> findings_;
};

// The document's indication: the worst of its signatures'; indeterminate
// when there is none.
Indication documentIndication(const std::vector<Indication>& signatures);

}  // namespace penvora::core::verifier
