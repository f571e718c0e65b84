#include "penvora/SignatureVerifier.hpp"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/x509.h>

#include <algorithm>
#include <ctime>
#include <optional>

#include "core/engine/BioAttributeIds.hpp"
#include "core/engine/BiometricRecordReader.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/securepdf/FetchBudget.hpp"
#include "core/securepdf/SignatureInspector.hpp"
#include "core/util/OpenSsl.hpp"
#include "core/verifier/ChainValidator.hpp"
#include "core/verifier/RevocationChecker.hpp"
#include "core/verifier/SignerCertificate.hpp"
#include "core/verifier/TimestampVerifier.hpp"
#include "core/verifier/TrustStore.hpp"
#include "core/verifier/Verdict.hpp"

namespace penvora {
namespace {

using core::engine::BiometricRecordReader;
using core::securepdf::SignatureInfo;
using core::util::Owned;
using namespace core::verifier;
using Sub = SubIndication;
using CmsPtr = Owned<CMS_ContentInfo, CMS_ContentInfo_free>;

std::string isoTime(std::time_t t) {
  std::tm tm{};
  char buf[32];
  if (!gmtime_r(&t, &tm)) return {};
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

// The document's certificates, parsed once, to complete chains with.
struct DocumentContext {
  const core::securepdf::DocumentSignatures& doc;
  const TrustStore& trust;
  const VerifyOptions& options;
  core::util::X509Stack dssCerts;
  // The online revocation checks of every signature share one deadline.
  core::securepdf::FetchBudget& online;
};

// The certificates a chain may be built through: the CMS's own and the DSS's.
core::util::X509Stack untrustedFor(CMS_ContentInfo* cms, STACK_OF(X509) * dss) {
  core::util::X509Stack out(CMS_get1_certs(cms));
  if (!out) out.reset(sk_X509_new_null());
  for (int i = 0; out && dss && i < sk_X509_num(dss); ++i) core::util::pushReference(out.get(), sk_X509_value(dss, i));
  return out;
}

const char* certificateStatusName(ChainResult::Status s) {
  switch (s) {
    case ChainResult::Status::Valid:
      return "valid";
    case ChainResult::Status::NoChain:
      return "no chain to a trust anchor";
    case ChainResult::Status::Expired:
      return "expired";
    case ChainResult::Status::NotYetValid:
      return "not yet valid";
    case ChainResult::Status::Invalid:
      break;
  }
  return "invalid";
}

// Chain, validity at the signing time and revocation of a signer (or TSA)
// certificate, as findings.
void judgeCertificate(X509* cert, STACK_OF(X509) * untrusted, const DocumentContext& ctx,
                      std::optional<std::time_t> proven, VerdictBuilder& v, VerifiedSignature& out) {
  const std::time_t at = proven.value_or(std::time(nullptr));
  auto chain = validateChain(cert, untrusted, ctx.trust, at);
  out.certificateStatus = certificateStatusName(chain.status);
  for (int i = 0; chain.chain && i < sk_X509_num(chain.chain.get()); ++i)
    out.chain.push_back(core::util::subjectLine(sk_X509_value(chain.chain.get(), i)));
  switch (chain.status) {
    case ChainResult::Status::Valid:
      break;
    case ChainResult::Status::NoChain:
      v.add(Sub::NoCertificateChainFound,
            ctx.trust.empty() ? "no trust anchors given (--trust)" : "no chain to a trust anchor: " + chain.problem);
      return;
    case ChainResult::Status::Expired:
      if (proven)
        v.add(Sub::Expired, "the certificate had expired at the time-stamp's time");
      else
        v.add(Sub::OutOfBoundsNoPoe, "the certificate has expired and no time-stamp proves the signing time");
      return;
    case ChainResult::Status::NotYetValid:
      v.add(Sub::NotYetValid, "the certificate was not yet valid at the signing time");
      return;
    case ChainResult::Status::Invalid:
      v.add(Sub::CertificateChainGeneralFailure, "the chain does not hold: " + chain.problem);
      return;
  }
  for (const auto& s : checkRevocation(chain.chain.get(), ctx.doc.dssOcsps, ctx.doc.dssCrls,
                                       ctx.options.online ? &ctx.online : nullptr, at)) {
    using St = CertificateStatus::Status;
    RevocationStatus r{s.subject, "", s.source, "", s.problem};
    switch (s.status) {
      case St::Good:
        r.status = "good";
        break;
      case St::Revoked:
        r.status = "revoked";
        r.revokedAt = isoTime(s.revokedAt);
        if (proven && *proven < s.revokedAt)
          v.add(Sub::None, s.subject + " was revoked after the proven signing time");
        else if (proven && s.isSigner)
          v.add(Sub::Revoked, "the signing certificate was revoked before the time-stamp's time");
        else
          v.add(s.isSigner ? Sub::RevokedNoPoe : Sub::RevokedCaNoPoe,
                s.subject + " is revoked and nothing proves the signature is older");
        break;
      case St::Unavailable:
        r.status = "unavailable";
        v.add(Sub::TryLater, "no revocation data for " + s.subject + ": " + s.problem);
        break;
      case St::NoSource:
        r.status = "no source";
        v.add(ctx.options.requireRevocation ? Sub::TryLater : Sub::None, s.subject + " names no OCSP responder or CRL");
        break;
    }
    out.revocation.push_back(std::move(r));
  }
}

// The signer's claimed signingTime attribute, ISO 8601 UTC, or empty.
std::string signingTimeAttribute(CMS_SignerInfo* si) {
  const ASN1_OBJECT* oid = OBJ_nid2obj(NID_pkcs9_signingTime);
  const ASN1_TIME* t = static_cast<ASN1_TIME*>(CMS_signed_get0_data_by_OBJ(si, oid, -3, V_ASN1_UTCTIME));
  if (!t) t = static_cast<ASN1_TIME*>(CMS_signed_get0_data_by_OBJ(si, oid, -3, V_ASN1_GENERALIZEDTIME));
  std::tm tm{};
  ERR_clear_error();
  return t && ASN1_TIME_to_tm(t, &tm) == 1 ? isoTime(timegm(&tm)) : std::string();
}

Indication judge(const SignatureInfo& s, const DocumentContext& ctx, VerifiedSignature& out) {
  VerdictBuilder v;
  if (!s.valid) {
    const Sub sub = s.failure == SignatureInfo::Failure::Hash     ? Sub::HashFailure
                    : s.failure == SignatureInfo::Failure::Crypto ? Sub::SigCryptoFailure
                                                                  : Sub::FormatFailure;
    v.add(sub, s.problem);
  }
  if (s.revisions.disallowed) v.add(Sub::FormatFailure, s.revisions.problem);
  const unsigned char* p = s.cms.data();
  CmsPtr cms(s.cms.empty() ? nullptr : d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(s.cms.size())));
  STACK_OF(CMS_SignerInfo)* infos = cms ? CMS_get0_SignerInfos(cms.get()) : nullptr;
  CMS_SignerInfo* si = infos && sk_CMS_SignerInfo_num(infos) > 0 ? sk_CMS_SignerInfo_value(infos, 0) : nullptr;
  ERR_clear_error();
  if (si) {
    auto untrusted = untrustedFor(cms.get(), ctx.dssCerts.get());
    const std::string_view file(*ctx.doc.file);
    if (s.subFilter == "ETSI.RFC3161") {
      // A document time-stamp: its TSA is the signer, its time is proven by itself.
      const std::string content =
          std::string(file.substr(0, s.range[1])) + std::string(file.substr(s.range[2], s.range[3]));
      const auto ts = verifyTimestamp(s.cms, content, ctx.trust, ctx.dssCerts.get());
      out.timestampStatus = ts.problem.empty() ? "valid" : ts.problem;
      out.timestampAuthority = ts.authority;
      out.signingTime = isoTime(ts.time);
      out.signingTimeProven = ts.intact;
      if (X509* tsa = signerCertificate(si, untrusted.get()))
        judgeCertificate(tsa, untrusted.get(), ctx, std::nullopt, v, out);
      else
        v.add(Sub::NoSigningCertificateFound, "the token holds no TSA certificate");
    } else if (X509* cert = signerCertificate(si, untrusted.get())) {
      std::optional<std::time_t> proven;
      const int at = CMS_unsigned_get_attr_by_NID(si, NID_id_smime_aa_timeStampToken, -1);
      ASN1_TYPE* t = at >= 0 ? X509_ATTRIBUTE_get0_type(CMS_unsigned_get_attr(si, at), 0) : nullptr;
      if (t && t->type == V_ASN1_SEQUENCE) {
        const ASN1_OCTET_STRING* value = CMS_SignerInfo_get0_signature(si);
        const core::util::Bytes token(t->value.sequence->data, t->value.sequence->data + t->value.sequence->length);
        const auto ts = verifyTimestamp(
            token,
            std::string_view(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)), ASN1_STRING_length(value)),
            ctx.trust, ctx.dssCerts.get());
        out.timestampStatus = ts.problem.empty() ? "valid" : ts.problem;
        out.timestampAuthority = ts.authority;
        if (!ts.intact)
          v.add(Sub::SigConstraintsFailure, "the signature time-stamp: " + ts.problem);
        else if (ts.chain == ChainResult::Status::Valid)
          proven = ts.time;
        else
          v.add(Sub::None, "the signature time-stamp proves nothing: " + ts.problem);
      } else if (at >= 0) {
        v.add(Sub::SigConstraintsFailure, "the signature time-stamp cannot be read");
      }
      // Proven, else signed, else the dictionary's unsigned /M.
      const std::string signedTime = signingTimeAttribute(si);
      out.signingTime = proven ? isoTime(*proven) : !signedTime.empty() ? signedTime : s.claimedTime;
      out.signingTimeProven = proven.has_value();
      const auto binding = checkSignerBinding(si, cert);
      out.signingCertificateBinding = binding.attribute;
      if (binding.attribute == "mismatch")
        v.add(Sub::NoSigningCertificateFound, "the signing-certificate attribute names another certificate");
      else if (binding.attribute == "absent")
        v.add(Sub::None, "no signing-certificate attribute binds the certificate");
      if (!binding.keyUsageAllowsSigning)
        v.add(Sub::ChainConstraintsFailure, "the certificate's key usage does not allow signing");
      judgeCertificate(cert, untrusted.get(), ctx, proven, v, out);
      std::tm claimed{};
      if (!proven && strptime(out.signingTime.c_str(), "%Y-%m-%dT%H:%M:%SZ", &claimed)) {
        std::time_t t = timegm(&claimed);
        if (X509_cmp_time(X509_get0_notBefore(cert), &t) > 0 || X509_cmp_time(X509_get0_notAfter(cert), &t) < 0)
          v.add(Sub::None, "the claimed signing time lies outside the certificate's validity");
      }
    } else {
      v.add(Sub::NoSigningCertificateFound, "the signature holds no certificate for its signer");
    }
  }
  out.indication = indicationName(v.verdict().indication);
  out.subIndication = subIndicationName(v.verdict().subIndication);
  out.verdictReason = v.verdict().reason;
  out.findings = v.findings();
  return v.verdict().indication;
}

void readBiometrics(const core::securepdf::SignatureInfo& s, const std::string& bioKeyPem, VerifiedSignature& out) {
  const auto summaryIt = s.signedAttributes.find(core::engine::kBioSummaryAttributeOid);
  if (summaryIt == s.signedAttributes.end()) return;
  out.hasBiometricSummary = true;
  const auto summary = BiometricRecordReader::summary(summaryIt->second);
  if (!summary) return;
  std::map<std::string, std::string> fields;
  const auto names = core::engine::ESSUtils::split(summary->first, ';');
  const auto values = core::engine::ESSUtils::split(summary->second, ';');
  for (std::size_t i = 0; i < names.size(); ++i) fields[names[i]] = i < values.size() ? values[i] : "";
  out.biometricSummary = std::move(fields);

  const auto dataIt = s.signedAttributes.find(core::engine::kBioDataAttributeOid);
  out.hasBiometricData = dataIt != s.signedAttributes.end();
  if (bioKeyPem.empty() || !out.hasBiometricData) return;
  const auto trace = BiometricRecordReader::decrypt(dataIt->second, bioKeyPem);
  if (!trace) return;
  out.biometricRecord = BiometricRecordReader::recordText(*summary, *trace);
  out.trace.reserve(trace->points.size());
  for (const auto& p : trace->points) out.trace.push_back({p.x, p.y, p.press, p.time});
}

}  // namespace

VerifiedDocument verifySignatures(const std::string& path, const std::string& password, const std::string& bioKeyPem) {
  VerifyOptions options;
  options.password = password;
  options.bioKeyPem = bioKeyPem;
  return verifySignatures(path, options);
}

VerifiedDocument verifySignatures(const std::string& path, const VerifyOptions& options) {
  const std::string& bioKeyPem = options.bioKeyPem;
  TrustStore trust;
  core::securepdf::DocumentSignatures doc;
  try {
    for (const auto& a : options.trustAnchors) trust.add(a);
    if (options.systemTrust) trust.addSystem();
    doc = core::securepdf::inspectSignatures(path, options.password);
  } catch (const core::securepdf::SecurePdfError& e) {
    throw VerificationError(e.what(), e.kind() == core::securepdf::SecurePdfError::Kind::wrongPassword);
  } catch (const std::exception& e) {
    throw VerificationError(e.what());
  }
  core::securepdf::FetchBudget online;
  DocumentContext ctx{doc, trust, options, core::util::X509Stack(sk_X509_new_null()), online};
  for (const auto& der : doc.dssCerts) {
    core::util::pushOwned(ctx.dssCerts.get(), core::util::certificateFromDer(der.data(), der.size()));
  }
  ERR_clear_error();
  std::vector<Indication> indications;
  VerifiedDocument result;
  result.hasDss = doc.hasDss;
  for (const auto& s : doc.signatures) {
    VerifiedSignature v;
    v.field = s.field;
    v.page = s.page;
    v.subFilter = s.subFilter;
    v.signer = s.signer;
    v.intact = s.valid;
    v.valid = s.valid && !s.revisions.disallowed;
    v.coversWholeFile = s.coversWholeFile;
    v.problem = !s.valid ? s.problem : s.revisions.problem;
    v.revisionEnd = s.revisionEnd;
    v.certification = s.revisions.certification.value_or(0);
    for (const auto& u : s.revisions.updates)
      v.laterUpdates.push_back({u.end, core::securepdf::changeName(u.change), u.detail});
    const bool changed = std::any_of(s.revisions.updates.begin(), s.revisions.updates.end(),
                                     [](const auto& u) { return u.change != core::securepdf::Change::None; });
    v.modification = s.revisions.disallowed ? "disallowed" : changed ? "allowed" : "none";
    v.profile = s.profile;
    v.timestamp = s.timestamp;
    std::copy(std::begin(s.rect), std::end(s.rect), std::begin(v.rect));
    indications.push_back(judge(s, ctx, v));
    readBiometrics(s, bioKeyPem, v);
    result.signatures.push_back(std::move(v));
  }
  result.indication = indicationName(documentIndication(indications));
  return result;
}

}  // namespace penvora
