#pragma once
#include <optional>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>

namespace penvora::core::securepdf {

// What a signed signature field locks: the fields named by its /Lock
// dictionary, or by the FieldMDP transform of its signature.
struct FieldLock {
  enum class Action { All, Include, Exclude };
  std::string signedField;  // fully qualified name of the locking field
  Action action = Action::All;
  std::vector<std::string> fields;  // for Include and Exclude
  std::optional<int> permission;    // /P: changes the document allows after it, as DocMDP

  // Whether the field of this fully qualified name may no longer change;
  // naming a field locks the fields under it too.
  bool covers(const std::string& field) const;
};

// The locks of the document's signed signature fields. A lock only takes
// effect once its field is signed.
std::vector<FieldLock> fieldLocks(QPDF& pdf);

}  // namespace penvora::core::securepdf
