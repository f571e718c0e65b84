#include "core/securepdf/SignatureInspector.hpp"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <qpdf/QPDF.hh>
#include <set>
#include <tuple>

#include "core/securepdf/BoundedStringPipeline.hpp"
#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SignatureFieldList.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/securepdf/ValidationDataBudget.hpp"
#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {
namespace {

using util::Owned;
using CmsPtr = Owned<CMS_ContentInfo, CMS_ContentInfo_free>;

std::string_view range(const std::string& file, long long at, long long n) {
  return std::string_view(file).substr(static_cast<std::size_t>(at), static_cast<std::size_t>(n));
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Whether the prefix of `n` bytes closes a revision: %%EOF, then at most
// line ends and blanks.
bool endsRevision(const std::string& file, long long n) {
  const std::string_view prefix = range(file, 0, n);
  const auto last = prefix.find_last_not_of("\r\n \t");
  return last != std::string_view::npos && last >= 4 && prefix.substr(last - 4, 5) == "%%EOF";
}

// The gap a byte range leaves for /Contents: from its '<' to past its '>'.
using Gap = std::pair<long long, long long>;

// Every "/ByteRange [0 a b c]" in the file's bytes that could be a
// signature's and is not one of `known`: its gap a '<' ... '>' string,
// its end one of `revisionEnds`; grouped by that end. Signature
// dictionaries are never compressed (their /Contents must stand in the
// file's bytes), so the bytes show each one some revision wrote, in the
// form or not.
std::map<long long, std::set<Gap>> byteRangesWritten(const std::string& file, const std::set<Gap>& known,
                                                     const std::set<std::uint64_t>& revisionEnds) {
  std::map<long long, std::set<Gap>> out;
  const SyntaxScanner scan(file);
  for (auto at = file.find("/ByteRange"); at != std::string::npos; at = file.find("/ByteRange", at + 10)) {
    std::size_t p = scan.skipSpace(at + 10);
    if (p >= file.size() || file[p] != '[') continue;
    long long r[4];
    bool read = true;
    for (int i = 0; i < 4 && read; ++i) {
      p = scan.skipSpace(p + (i == 0 ? 1 : 0));
      const auto v = scan.integer(p);
      read = v && *v <= static_cast<std::uint64_t>(file.size());
      if (read) r[i] = static_cast<long long>(*v);
    }
    if (!read || r[0] != 0 || r[1] <= 0 || r[2] <= r[1] || r[3] < 0 ||
        static_cast<std::uint64_t>(r[2]) + static_cast<std::uint64_t>(r[3]) > file.size() || file[r[1]] != '<' ||
        file[r[2] - 1] != '>' || known.count({r[1], r[2]}) ||
        !revisionEnds.count(static_cast<std::uint64_t>(r[2] + r[3])))
      continue;
    out[r[2] + r[3]].insert({r[1], r[2]});
  }
  return out;
}

// The gap a signature dictionary's /ByteRange leaves, as written.
std::optional<Gap> writtenGap(QPDFObjectHandle sig) {
  QPDFObjectHandle br = sig.getKey("/ByteRange");
  if (!br.isArray() || br.getArrayNItems() != 4 || !br.getArrayItem(1).isInteger() || !br.getArrayItem(2).isInteger())
    return std::nullopt;
  return Gap{br.getArrayItem(1).getIntValue(), br.getArrayItem(2).getIntValue()};
}

std::string generalizedTimeIso(const ASN1_GENERALIZEDTIME* t) {
  std::tm tm{};
  if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return {};
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

// The TSTInfo time of a time-stamp token (a CMS SignedData, DER).
std::string tokenTime(const unsigned char* der, long len) {
  Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &der, len));
  if (!p7) return {};
  Owned<TS_TST_INFO, TS_TST_INFO_free> info(PKCS7_to_TS_TST_INFO(p7.get()));
  return info ? generalizedTimeIso(TS_TST_INFO_get_time(info.get())) : std::string();
}

std::string subjectOf(X509* x) {
  if (!x) return {};
  Owned<BIO, BIO_free> bio(BIO_new(BIO_s_mem()));
  if (!bio || X509_NAME_print_ex(bio.get(), X509_get_subject_name(x), 0, XN_FLAG_RFC2253) < 0) return {};
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

// The page (from 0) each annotation is listed on, the first where several
// list it: one walk for all the signatures of a document.
std::map<QPDFObjGen, int> annotationPages(QPDF& pdf) {
  std::map<QPDFObjGen, int> on;
  const auto pages = allPages(pdf);  // not qpdf's walk: a hostile tree recurses past the stack
  for (std::size_t i = 0; i < pages.size(); ++i) {
    QPDFObjectHandle annots = QPDFObjectHandle(pages[i]).getKey("/Annots");
    for (int k = 0; annots.isArray() && k < annots.getArrayNItems(); ++k)
      if (QPDFObjectHandle a = annots.getArrayItem(k); a.isIndirect()) on.emplace(a.getObjGen(), static_cast<int>(i));
  }
  return on;
}

// A PDF date ("D:YYYYMMDDHHmmSS+HH'mm'", trailing parts optional) as ISO
// 8601 UTC; empty when it does not read as one.
std::string pdfDateIso(std::string d) {
  if (d.rfind("D:", 0) == 0) d = d.substr(2);
  int f[6] = {0, 1, 1, 0, 0, 0};
  const int widths[6] = {4, 2, 2, 2, 2, 2};
  std::size_t at = 0;
  for (int i = 0; i < 6 && at + widths[i] <= d.size() && std::isdigit(static_cast<unsigned char>(d[at])); ++i) {
    const std::string part = d.substr(at, widths[i]);
    if (!std::all_of(part.begin(), part.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      return {};
    f[i] = std::stoi(part);
    at += widths[i];
  }
  if (at < 4) return {};
  long offset = 0;
  if (at < d.size() && (d[at] == '+' || d[at] == '-') && at + 3 <= d.size()) {
    const int sign = d[at] == '+' ? 1 : -1;
    int hh = 0, mm = 0;
    if (std::sscanf(d.c_str() + at + 1, "%2d'%2d", &hh, &mm) < 1) return {};
    offset = sign * (hh * 3600L + mm * 60L);
  }
  std::tm tm{};
  tm.tm_year = f[0] - 1900, tm.tm_mon = f[1] - 1, tm.tm_mday = f[2], tm.tm_hour = f[3], tm.tm_min = f[4],
  tm.tm_sec = f[5];
  const std::time_t t = timegm(&tm) - offset;
  std::tm utc{};
  if (!gmtime_r(&t, &utc)) return {};
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buf;
}

// Whether the signer's messageDigest attribute is the digest of `content`.
bool digestMatches(CMS_SignerInfo* si, const std::string& content) {
  X509_ALGOR* digestAlg = nullptr;
  CMS_SignerInfo_get0_algs(si, nullptr, nullptr, &digestAlg, nullptr);
  const EVP_MD* md = digestAlg ? EVP_get_digestbyobj(digestAlg->algorithm) : nullptr;
  const auto* want = static_cast<ASN1_OCTET_STRING*>(
      CMS_signed_get0_data_by_OBJ(si, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (!md || !want || EVP_Digest(content.data(), content.size(), d, &n, md, nullptr) != 1) return false;
  return static_cast<unsigned>(ASN1_STRING_length(want)) == n && std::equal(d, d + n, ASN1_STRING_get0_data(want));
}

void check(SignatureInfo& info, const std::string& file, QPDFObjectHandle sig, std::uint64_t headerOffset) {
  const std::uintmax_t fileSize = file.size();
  // Structural until the signature itself is reached.
  info.failure = SignatureInfo::Failure::Format;
  QPDFObjectHandle br = sig.getKey("/ByteRange");
  long long r[4];
  if (!br.isArray() || br.getArrayNItems() != 4) {
    info.problem = "no byte range";
    return;
  }
  for (int i = 0; i < 4; ++i) {
    if (!br.getArrayItem(i).isInteger()) {
      info.problem = "broken byte range";
      return;
    }
    r[i] = br.getArrayItem(i).getIntValue();
  }
  // Order first: a range that runs backwards is not "outside the file",
  // and the sum below must not overflow.
  if (r[0] != 0) {
    info.problem = "byte range does not start at the beginning of the file";
    return;
  }
  if (r[1] <= 0 || r[2] < r[1] || r[3] < 0) {
    info.problem = "byte ranges out of order or overlapping";
    return;
  }
  if (static_cast<std::uintmax_t>(r[2]) > fileSize || static_cast<std::uintmax_t>(r[3]) > fileSize - r[2]) {
    info.problem = "byte range outside the file";
    return;
  }
  info.coversWholeFile = static_cast<std::uintmax_t>(r[2] + r[3]) == fileSize;
  // The gap is the /Contents string, from its '<' to its '>', and nothing else.
  const std::string_view hex = range(file, r[1], r[2] - r[1]);
  const std::string_view digits = hex.size() >= 2 ? hex.substr(1, hex.size() - 2) : std::string_view();
  if (hex.size() < 2 || hex.front() != '<' || hex.back() != '>' || digits.size() % 2 != 0 ||
      !std::all_of(digits.begin(), digits.end(), isHexDigit)) {
    info.problem = "the gap in the byte range is not exactly the /Contents hex string";
    return;
  }
  const std::string der = util::hexDecodeLeading(digits);
  // This dictionary's own /Contents, where it stands in the file: a copy of
  // the dictionary elsewhere (with another /M or /Reason) has equal bytes
  // but is not what was signed.
  QPDFObjectHandle contents = sig.getKey("/Contents");
  if (!contents.isString() || contents.getStringValue() != der ||
      contents.getParsedOffset() + static_cast<qpdf_offset_t>(headerOffset) != r[1]) {
    info.problem = "the gap in the byte range is not this signature's /Contents";
    return;
  }
  if (!endsRevision(file, r[2] + r[3])) {
    info.problem = "the byte range does not end where a revision ends (%%EOF)";
    return;
  }
  info.revisionEnd = static_cast<std::uint64_t>(r[2] + r[3]);
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
  if (!cms) {
    ERR_clear_error();
    info.problem = "/Contents is not a CMS signature";
    return;
  }
  const auto* derEnd = reinterpret_cast<const unsigned char*>(der.data()) + der.size();
  info.cms.assign(reinterpret_cast<const unsigned char*>(der.data()), p);
  std::copy(std::begin(r), std::end(r), std::begin(info.range));
  if (std::any_of(p, derEnd, [](unsigned char c) { return c != 0; })) {
    info.problem = "bytes other than zero follow the signature in the /Contents padding";
    return;
  }
  STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms.get());
  CMS_SignerInfo* si = infos && sk_CMS_SignerInfo_num(infos) > 0 ? sk_CMS_SignerInfo_value(infos, 0) : nullptr;
  if (!si) {
    info.problem = "no signer";
    return;
  }
  {
    util::X509Stack certs(CMS_get1_certs(cms.get()));
    X509* signerCert = nullptr;
    // The first that matches, as the verification takes it: a second one
    // of the same issuer and serial must not lend its name.
    for (int i = 0; certs && i < sk_X509_num(certs.get()) && !signerCert; ++i)
      if (CMS_SignerInfo_cert_cmp(si, sk_X509_value(certs.get(), i)) == 0) signerCert = sk_X509_value(certs.get(), i);
    info.signer = subjectOf(signerCert);
  }

  for (int i = 0; i < CMS_signed_get_attr_count(si); ++i) {
    X509_ATTRIBUTE* a = CMS_signed_get_attr(si, i);
    char oid[128];
    if (OBJ_obj2txt(oid, sizeof oid, X509_ATTRIBUTE_get0_object(a), 1) <= 0)
      throw SecurePdfError("A signed attribute has no readable identifier");
    ASN1_TYPE* v = X509_ATTRIBUTE_get0_type(a, 0);
    if (!v) continue;
    auto der = util::derOf(i2d_ASN1_TYPE, v);
    if (!der) throw SecurePdfError(std::string("The signed attribute ") + oid + " cannot be encoded");
    info.signedAttributes[oid] = std::move(*der);
  }

  // Verify over the byte ranges, streamed.
  std::string content = std::string(range(file, 0, r[1])) + std::string(range(file, r[2], r[3]));
  Owned<BIO, BIO_free> data(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
  if (!data) throw SecurePdfError("Cannot read the signed byte ranges");
  if (info.subFilter == "ETSI.RFC3161") {
    // A document time-stamp: the token's imprint is the hash of the ranges.
    const auto* q = reinterpret_cast<const unsigned char*>(der.data());
    Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &q, static_cast<long>(der.size())));
    Owned<TS_TST_INFO, TS_TST_INFO_free> tst(p7 ? PKCS7_to_TS_TST_INFO(p7.get()) : nullptr);
    const bool signatureHolds =
        CMS_verify(cms.get(), nullptr, nullptr, nullptr, nullptr, CMS_NO_SIGNER_CERT_VERIFY) == 1;
    bool imprintHolds = false;
    if (tst) {
      TS_MSG_IMPRINT* mi = TS_TST_INFO_get_msg_imprint(tst.get());
      const EVP_MD* md = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(mi)->algorithm);
      unsigned char d[EVP_MAX_MD_SIZE];
      unsigned n = 0;
      if (md && EVP_Digest(content.data(), content.size(), d, &n, md, nullptr) == 1) {
        ASN1_OCTET_STRING* m = TS_MSG_IMPRINT_get_msg(mi);
        imprintHolds =
            static_cast<unsigned>(ASN1_STRING_length(m)) == n && std::equal(d, d + n, ASN1_STRING_get0_data(m));
      }
      info.timestamp = generalizedTimeIso(TS_TST_INFO_get_time(tst.get()));
    }
    info.valid = signatureHolds && imprintHolds;
    if (!info.valid) info.problem = signatureHolds ? "the time-stamp imprint differs" : "the token's signature fails";
    info.failure = info.valid      ? SignatureInfo::Failure::None
                   : !imprintHolds ? SignatureInfo::Failure::Hash
                                   : SignatureInfo::Failure::Crypto;
  } else {
    const bool digestHolds = digestMatches(si, content);
    info.valid = digestHolds && CMS_verify(cms.get(), nullptr, nullptr, data.get(), nullptr,
                                           CMS_DETACHED | CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) == 1;
    if (!info.valid)
      info.problem = digestHolds ? "the signature value does not match the signed attributes"
                                 : "the signed bytes' digest differs from the signed one";
    info.failure = info.valid    ? SignatureInfo::Failure::None
                   : digestHolds ? SignatureInfo::Failure::Crypto
                                 : SignatureInfo::Failure::Hash;
    const int at = CMS_unsigned_get_attr_by_NID(si, NID_id_smime_aa_timeStampToken, -1);
    if (at >= 0) {
      ASN1_TYPE* t = X509_ATTRIBUTE_get0_type(CMS_unsigned_get_attr(si, at), 0);
      if (t && t->type == V_ASN1_SEQUENCE)
        info.timestamp = tokenTime(t->value.sequence->data, t->value.sequence->length);
    }
  }
  ERR_clear_error();
}

}  // namespace

DocumentSignatures inspectSignatures(const std::string& path, const std::string& password) {
  // Read once: the model and the byte ranges must speak of the same bytes.
  const auto file = readWholeFile(path);
  const std::shared_ptr<QPDF> pdf = openForReading(file, password);
  DocumentSignatures doc;
  doc.hasDss = pdf->getRoot().getKey("/DSS").isDictionary();
  doc.file = file;
  if (doc.hasDss) {
    QPDFObjectHandle dss = pdf->getRoot().getKey("/DSS");
    const std::pair<const char*, std::vector<util::Bytes>*> lists[] = {
        {"/Certs", &doc.dssCerts}, {"/OCSPs", &doc.dssOcsps}, {"/CRLs", &doc.dssCrls}};
    ValidationDataBudget items;
    for (const auto& [key, out] : lists) {
      QPDFObjectHandle a = dss.getKey(key);
      for (int i = 0; a.isArray() && i < a.getArrayNItems(); ++i)
        if (const auto data = items.decode(a.getArrayItem(i))) out->emplace_back(data->begin(), data->end());
    }
  }
  RevisionAnalysis revisions(file, password);
  revisions.adopt(file->size(), pdf);  // the last revision is the document just read
  // qpdf counts offsets from the header, byte ranges from the file's start.
  const std::uint64_t headerOffset = findHeaderOffset(std::string_view(*file).substr(0, kHeaderSearchBytes));
  bool anyDocTimestamp = false;
  std::set<Gap> listedGaps;  // the /Contents gaps of the signatures in the form
  std::optional<std::map<QPDFObjGen, int>> pageOfAnnotation;
  // Each check hashes the file: a form of thousands of fields, all showing
  // one signature, would take minutes.
  constexpr std::size_t kMaxSignedFields = 256;
  std::size_t signedFields = 0;
  std::set<QPDFObjGen> shownSignatures;
  std::vector<std::pair<std::size_t, QPDFObjectHandle>> laterUpdates;  // a signature, its field
  // Where a field's widget sits.
  auto place = [&](SignatureInfo& info, QPDFObjectHandle field) {
    QPDFObjectHandle widget = field;
    if (!widget.hasKey("/Rect") && field.getKey("/Kids").isArray() && field.getKey("/Kids").getArrayNItems() > 0)
      widget = field.getKey("/Kids").getArrayItem(0);
    if (widget.getKey("/Rect").isRectangle()) {
      auto r = widget.getKey("/Rect").getArrayAsRectangle();
      info.rect[0] = r.llx, info.rect[1] = r.lly, info.rect[2] = r.urx, info.rect[3] = r.ury;
    }
    if (!pageOfAnnotation) pageOfAnnotation = annotationPages(*pdf);
    const auto listed = widget.isIndirect() ? pageOfAnnotation->find(widget.getObjGen()) : pageOfAnnotation->end();
    info.page = listed == pageOfAnnotation->end() ? -1 : listed->second;
  };
  // Where a signature sits, and its check; whether it was checked.
  auto inspect = [&](SignatureInfo& info, QPDFObjectHandle field, QPDFObjectHandle sig) {
    if (sig.getKey("/SubFilter").isName()) info.subFilter = sig.getKey("/SubFilter").getName().substr(1);
    if (sig.getKey("/M").isString()) info.claimedTime = pdfDateIso(sig.getKey("/M").getUTF8Value());
    if (info.subFilter == "ETSI.RFC3161") anyDocTimestamp = true;
    place(info, field);
    try {
      check(info, *file, sig, headerOffset);
      return info.revisionEnd > 0;
    } catch (const std::exception& e) {
      info.problem = e.what();
      return false;
    }
  };
  for (auto& f : listSignatureFields(*pdf)) {
    if (!f.isSigned) continue;
    if (++signedFields > kMaxSignedFields)
      throw SecurePdfError("The document's form holds more than " + std::to_string(kMaxSignedFields) +
                           " signed fields; it is not checked");
    SignatureInfo info;
    info.field = f.fullName;
    QPDFObjectHandle sig = f.field.getKey("/V");
    if (sig.isIndirect() && !shownSignatures.insert(sig.getObjGen()).second) {
      // One signature is the value of one field; a second field showing
      // it may be placed anywhere, and it is not checked again.
      place(info, f.field);
      info.failure = SignatureInfo::Failure::Format;
      info.problem = "the signature is the value of another field too";
      doc.signatures.push_back(std::move(info));
      continue;
    }
    if (const auto gap = writtenGap(sig)) listedGaps.insert(*gap);  // whatever its check finds
    if (inspect(info, f.field, sig)) laterUpdates.push_back({doc.signatures.size(), f.field});
    doc.signatures.push_back(std::move(info));
  }
  // What each later update changed, and whether the field was there when
  // the signature was made.
  auto judgeLaterUpdates = [&](SignatureInfo& info, QPDFObjectHandle field) {
    try {
      // Asked first: comparing the updates may let go of this revision.
      const bool fieldWasThere = !field.isIndirect() || revisions.hasDictionary(info.revisionEnd, field.getObjGen());
      info.revisions = revisions.after(info.revisionEnd);
      if (!fieldWasThere) {
        info.valid = false;
        info.failure = SignatureInfo::Failure::Format;
        info.problem = "the field was added after the signature it shows";
      }
    } catch (const std::exception& e) {
      info.problem = e.what();
    }
  };
  // What came after each signature, the newest signature first: each
  // revision is then read once, where the oldest first would read every
  // signed revision again after the updates following it (two revisions
  // are kept read at a time, and a long document's take hundreds of MB).
  std::stable_sort(laterUpdates.begin(), laterUpdates.end(), [&](const auto& a, const auto& b) {
    return doc.signatures[a.first].revisionEnd > doc.signatures[b.first].revisionEnd;
  });
  for (const auto& [index, field] : laterUpdates) judgeLaterUpdates(doc.signatures[index], field);
  // A signature a later update took out of the form (or out of a reader's
  // reach) is still written in the file: it shows what was signed, and a
  // verdict must say it was taken away rather than not mention it. Each
  // revision that may hold one is read once, and no more of them than
  // later updates are compared.
  const auto ends = RevisionAnalysis::revisionEnds(*file);
  std::size_t read = 0;
  for (const auto& candidates :
       byteRangesWritten(*file, listedGaps, std::set<std::uint64_t>(ends.begin(), ends.end()))) {
    if (++read > kMaxComparedUpdates) break;
    const long long end = candidates.first;
    const std::set<Gap>& gaps = candidates.second;
    std::vector<SignatureInfo> found;
    revisions.visitSignedFields(static_cast<std::uint64_t>(end), [&](const SignatureFieldEntry& f) {
      QPDFObjectHandle field = f.field;
      QPDFObjectHandle sig = field.getKey("/V");
      const auto gap = writtenGap(sig);
      if (!gap || !gaps.count(*gap) || listedGaps.count(*gap)) return;
      listedGaps.insert(*gap);
      SignatureInfo info;
      info.field = f.fullName;
      if (sig.getKey("/SubFilter").isName()) info.subFilter = sig.getKey("/SubFilter").getName().substr(1);
      if (sig.getKey("/M").isString()) info.claimedTime = pdfDateIso(sig.getKey("/M").getUTF8Value());
      try {
        check(info, *file, sig, headerOffset);
      } catch (const std::exception& e) {
        info.problem = e.what();
      }
      found.push_back(std::move(info));
    });
    for (auto& info : found) {
      if (info.revisionEnd > 0) info.revisions = revisions.after(info.revisionEnd);
      info.revisions.disallowed = true;
      info.revisions.problem = "a later update takes this signature out of the document's form";
      if (info.subFilter == "ETSI.RFC3161") anyDocTimestamp = true;
      doc.signatures.push_back(std::move(info));
    }
  }
  // A signature some tools put on its page alone, never in the form:
  // readers that look page by page show it, so it is reported as theirs.
  for (auto& f : signedWidgetsOutsideTheForm(*pdf)) {
    QPDFObjectHandle sig = f.field.getKey("/V");
    const auto gap = writtenGap(sig);
    if (!gap) continue;
    if (++signedFields > kMaxSignedFields) break;
    SignatureInfo info;
    info.field = f.fullName;
    if (!listedGaps.insert(*gap).second) {
      // Another field's signature shown again, anywhere the widget says.
      place(info, f.field);
      info.failure = SignatureInfo::Failure::Format;
      info.problem = "the signature is the value of another field too";
      doc.signatures.push_back(std::move(info));
      continue;
    }
    if (inspect(info, f.field, sig)) judgeLaterUpdates(info, f.field);
    doc.signatures.push_back(std::move(info));
  }
  for (auto& s : doc.signatures) {
    if (s.subFilter == "ETSI.RFC3161") {
      s.profile = "LTA";
      continue;
    }
    s.profile = s.timestamp.empty() ? "B" : "T";
    if (s.profile == "T" && doc.hasDss) s.profile = anyDocTimestamp ? "LTA" : "LT";
  }
  return doc;
}

}  // namespace penvora::core::securepdf
