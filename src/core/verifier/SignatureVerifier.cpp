#include "penvora/SignatureVerifier.hpp"

#include <algorithm>

#include "core/engine/BioAttributeIds.hpp"
#include "core/engine/BiometricRecordReader.hpp"
#include "core/engine/ESSUtils.hpp"
#include "core/securepdf/SignatureInspector.hpp"

namespace penvora {
namespace {

using core::engine::BiometricRecordReader;

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
  core::securepdf::DocumentSignatures doc;
  try {
    doc = core::securepdf::inspectSignatures(path, password);
  } catch (const std::exception& e) {
    throw VerificationError(e.what());
  }
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
    readBiometrics(s, bioKeyPem, v);
    result.signatures.push_back(std::move(v));
  }
  return result;
}

}  // namespace penvora
