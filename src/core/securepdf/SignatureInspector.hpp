#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/securepdf/RevisionAnalysis.hpp"
#include "core/util/Bytes.hpp"

namespace penvora::core::securepdf {

// What an independent check of one signature of a document finds.
struct SignatureInfo {
  std::string field;      // fully qualified field name
  int page = -1;          // 0-based page of its first widget, -1 unknown
  std::string subFilter;  // "ETSI.CAdES.detached", "ETSI.RFC3161", ...
  std::string signer;     // subject of the signing certificate
  bool valid = false;     // digest and signature hold over the byte ranges
  // Why not valid, in kinds a verdict tells apart: the file's structure
  // (byte ranges, padding, no CMS), the digest, or the signature value.
  enum class Failure { None, Format, Hash, Crypto } failure = Failure::None;
  bool coversWholeFile = false;                         // its byte ranges end at the end of the file
  std::string problem;                                  // why not valid, when not
  std::string profile;                                  // "B", "T", "LT", "LTA"
  std::string timestamp;                                // time-stamp time, ISO 8601 UTC, or empty
  std::string claimedTime;                              // /M, ISO 8601 UTC, or empty
  std::map<std::string, util::Bytes> signedAttributes;  // dotted OID -> DER value
  util::Bytes cms;                                      // /Contents without its padding
  long long range[4] = {0, 0, 0, 0};                    // the /ByteRange, once it passed the checks
  double rect[4] = {0, 0, 0, 0};                        // the first widget's /Rect
  std::uint64_t revisionEnd = 0;                        // where the signed revision ends, 0 unknown
  RevisionReport revisions;                             // what later updates change
};

struct DocumentSignatures {
  std::vector<SignatureInfo> signatures;  // in form order
  bool hasDss = false;
  std::vector<util::Bytes> dssCerts, dssOcsps, dssCrls;  // the /DSS streams, decoded
  std::shared_ptr<const std::string> file;               // the whole file, as read
};

// Reads every signed signature field and checks each signature. Throws
// SecurePdfError when the document cannot be read.
DocumentSignatures inspectSignatures(const std::string& path, const std::string& password);

}  // namespace penvora::core::securepdf
