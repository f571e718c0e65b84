#include "core/securepdf/SeedValues.hpp"

#include <openssl/objects.h>

#include "core/securepdf/CertificateSeedValue.hpp"
#include "core/securepdf/SecurePdfError.hpp"

namespace penvora::core::securepdf {
namespace {

// The /Ff bits that make an entry of the seed value dictionary required.
enum Required : long long {
  kFilter = 1,
  kSubFilter = 2,
  kVersion = 4,
  kReasons = 8,
  kAddRevInfo = 32,
  kDigestMethod = 64,
  kLockDocument = 128,
  kAppearanceFilter = 256,
};

// The highest seed value dictionary version whose entries are read here.
constexpr long long kUnderstoodVersion = 3;

bool listed(QPDFObjectHandle list, const std::string& name) {
  if (list.isName()) return list.getName() == name;
  for (int i = 0; list.isArray() && i < list.getArrayNItems(); ++i)
    if (list.getArrayItem(i).isName() && list.getArrayItem(i).getName() == name) return true;
  return false;
}

std::string digestName(const EVP_MD* md) {
  switch (md ? EVP_MD_get_type(md) : NID_undef) {
    case NID_sha1:
      return "/SHA1";
    case NID_sha256:
      return "/SHA256";
    case NID_sha384:
      return "/SHA384";
    case NID_sha512:
      return "/SHA512";
    default:
      return "";
  }
}

}  // namespace

void checkSeedValues(QPDFObjectHandle field, const std::string& fieldName, QPDFObjectHandle signature,
                     const EVP_MD* digest, bool timestamped, const Certificate* identity) {
  QPDFObjectHandle sv = field.getKey("/SV");
  if (!sv.isDictionary()) return;
  const long long required = sv.getKey("/Ff").isInteger() ? sv.getKey("/Ff").getIntValue() : 0;
  auto refuse = [&](const std::string& what) {
    throw SecurePdfError("The signature field '" + fieldName + "' requires " + what + ", so it is not signed");
  };
  if ((required & kFilter) && sv.getKey("/Filter").isName() &&
      sv.getKey("/Filter").getName() != signature.getKey("/Filter").getName())
    refuse("the signature handler " + sv.getKey("/Filter").getName().substr(1));
  if ((required & kSubFilter) && sv.hasKey("/SubFilter") &&
      !listed(sv.getKey("/SubFilter"), signature.getKey("/SubFilter").getName()))
    refuse("a sub-filter other than " + signature.getKey("/SubFilter").getName().substr(1));
  if ((required & kDigestMethod) && sv.hasKey("/DigestMethod") &&
      !listed(sv.getKey("/DigestMethod"), digestName(digest)))
    refuse("a digest other than " + digestName(digest).substr(1));
  if ((required & kVersion) && sv.getKey("/V").isInteger() && sv.getKey("/V").getIntValue() > kUnderstoodVersion)
    refuse("a seed value version this signer does not read (" + std::to_string(sv.getKey("/V").getIntValue()) + ")");
  if (required & kReasons) {
    QPDFObjectHandle reasons = sv.getKey("/Reasons");
    const std::string reason = signature.getKey("/Reason").isString() ? signature.getKey("/Reason").getUTF8Value() : "";
    bool allowed = !reasons.isArray() || reasons.getArrayNItems() == 0;
    for (int i = 0; reasons.isArray() && i < reasons.getArrayNItems(); ++i) {
      QPDFObjectHandle r = reasons.getArrayItem(i);
      if (!r.isString()) continue;
      // A single "." means no reason may be given.
      if (r.getUTF8Value() == "." ? reason.empty() : r.getUTF8Value() == reason) allowed = true;
    }
    if (!allowed)
      refuse(reason.empty() ? "one of its listed reasons" : "one of its listed reasons, not '" + reason + "'");
  }
  if ((required & kAddRevInfo) && sv.getKey("/AddRevInfo").isBool() && sv.getKey("/AddRevInfo").getBoolValue())
    refuse("revocation data inside the signature");
  // Written as a name (/true, /false, /auto); a boolean is read alike.
  QPDFObjectHandle lock = sv.getKey("/LockDocument");
  if ((required & kLockDocument) && (lock.isNameAndEquals("/true") || (lock.isBool() && lock.getBoolValue())))
    refuse("the document to be locked by the signature");
  QPDFObjectHandle stamp = sv.getKey("/TimeStamp");
  if (!timestamped && stamp.isDictionary() && stamp.getKey("/Ff").isInteger() &&
      (stamp.getKey("/Ff").getIntValue() & 1))
    refuse("a time-stamp, and none is asked for");
  if ((required & kAppearanceFilter) && sv.hasKey("/AppearanceFilter")) refuse("a named appearance");
  if (QPDFObjectHandle cert = sv.getKey("/Cert"); cert.isDictionary()) {
    if (!identity) refuse("a signing certificate, and none is given");
    if (const auto unmet = unmetCertificateSeedValue(cert, *identity)) refuse(*unmet);
  }
}

}  // namespace penvora::core::securepdf
