#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>

#include "core/securepdf/SignatureFieldList.hpp"

namespace penvora::core::securepdf {

// Each compared update costs a parse of the file up to its end: past this
// many, the rest count as changes nobody checked.
constexpr std::size_t kMaxComparedUpdates = 256;

// What an incremental update does, from harmless to anything at all.
enum class Change { None, ValidationData, FormFilling, Annotations, Other };
const char* changeName(Change c);

struct UpdateChange {
  std::uint64_t end = 0;  // where the update ends in the file
  Change change = Change::None;
  std::string detail;                    // the most far-reaching change, e.g. "changes page 1's content"
  std::vector<std::string> fields = {};  // fully qualified names of the form fields it changes
};

struct RevisionReport {
  std::vector<UpdateChange> updates;  // every update after the revision, in file order
  std::optional<int> certification;   // DocMDP level in force, none when not certified
  bool disallowed = false;            // an update goes beyond what is permitted
  std::string problem;                // the first such update, named
};

// Compares each revision of one file with the next: which objects later
// updates redefine, and what those objects are in the document.
class RevisionAnalysis {
 public:
  RevisionAnalysis(std::shared_ptr<const std::string> bytes, std::string password);
  ~RevisionAnalysis();

  // The updates after the revision that ends at `revisionEnd`.
  RevisionReport after(std::uint64_t revisionEnd);

  // Whether that revision has the object as a dictionary: a signature's
  // field must be in what the signature covers, not added after it.
  bool hasDictionary(std::uint64_t revisionEnd, QPDFObjGen object);

  // Calls `visit` with each signed signature field of the revision that
  // ends at `revisionEnd`, while that revision is read: the handles are
  // its own, and must not be kept.
  void visitSignedFields(std::uint64_t revisionEnd, const std::function<void(const SignatureFieldEntry&)>& visit);

  // `pdf` is the model of the revision that ends at `end` (read by the
  // caller already), so it is not read again.
  void adopt(std::uint64_t end, std::shared_ptr<QPDF> pdf);

  // Where each revision of the file ends: after each %%EOF that follows
  // "startxref N", and its line end; and the end of the file.
  static std::vector<std::uint64_t> revisionEnds(const std::string& bytes);

  // N of the "startxref N" right before the %%EOF at `eof`; none when
  // that %%EOF is not preceded so.
  static std::optional<std::uint64_t> startxrefBefore(const std::string& bytes, std::size_t eof);

 private:
  QPDF* model(std::uint64_t end, std::string& error);
  // Whether qpdf had to rebuild the cross-reference table to read the
  // revision that ends at `end`.
  bool rebuildsTable(std::uint64_t end);
  UpdateChange compare(std::uint64_t from, std::uint64_t to);

  std::shared_ptr<const std::string> bytes_;
  std::string password_;
  // The revisions read last, at most two: a comparison needs two, and
  // each read revision of a long file holds all its parsed objects.
  struct Model {
    std::shared_ptr<QPDF> pdf;
    std::uint64_t lastUse = 0;
  };
  std::map<std::uint64_t, Model> models_;
  std::uint64_t uses_ = 0;
  std::map<std::pair<std::uint64_t, std::uint64_t>, UpdateChange> compared_;
  std::map<std::uint64_t, bool> rebuilt_;  // by revision end, as found when read
};

}  // namespace penvora::core::securepdf
