#include "core/securepdf/FieldLocks.hpp"

#include <algorithm>

#include "core/securepdf/SignatureFieldList.hpp"

namespace penvora::core::securepdf {
namespace {

bool within(const std::string& field, const std::string& named) {
  return field == named ||
         (field.size() > named.size() && field.compare(0, named.size(), named) == 0 && field[named.size()] == '.');
}

std::optional<FieldLock> lockFrom(QPDFObjectHandle params, const std::string& signedField) {
  if (!params.isDictionary()) return std::nullopt;
  FieldLock lock;
  lock.signedField = signedField;
  QPDFObjectHandle action = params.getKey("/Action");
  if (action.isNameAndEquals("/Include"))
    lock.action = FieldLock::Action::Include;
  else if (action.isNameAndEquals("/Exclude"))
    lock.action = FieldLock::Action::Exclude;
  // /All, and anything unreadable: the strictest reading.
  QPDFObjectHandle fields = params.getKey("/Fields");
  for (int i = 0; fields.isArray() && i < fields.getArrayNItems(); ++i)
    if (fields.getArrayItem(i).isString()) lock.fields.push_back(fields.getArrayItem(i).getUTF8Value());
  QPDFObjectHandle p = params.getKey("/P");
  if (p.isInteger()) {
    const long long v = p.getIntValue();
    lock.permission = v >= 1 && v <= 3 ? static_cast<int>(v) : 2;
  }
  return lock;
}

}  // namespace

bool FieldLock::covers(const std::string& field) const {
  if (field == signedField) return false;  // a signed field is held by its own signature
  const bool named = std::any_of(fields.begin(), fields.end(), [&](const std::string& n) { return within(field, n); });
  switch (action) {
    case Action::All:
      return true;
    case Action::Include:
      return named;
    case Action::Exclude:
      return !named;
  }
  return true;
}

std::vector<FieldLock> fieldLocks(QPDF& pdf) {
  std::vector<FieldLock> locks;
  for (auto& entry : listSignatureFields(pdf)) {
    if (!entry.isSigned) continue;
    if (auto lock = lockFrom(entry.field.getKey("/Lock"), entry.fullName)) locks.push_back(std::move(*lock));
    QPDFObjectHandle refs = entry.field.getKey("/V").getKey("/Reference");
    for (int i = 0; refs.isArray() && i < refs.getArrayNItems(); ++i) {
      QPDFObjectHandle ref = refs.getArrayItem(i);
      if (!ref.isDictionary() || !ref.getKey("/TransformMethod").isNameAndEquals("/FieldMDP")) continue;
      if (auto lock = lockFrom(ref.getKey("/TransformParams"), entry.fullName)) locks.push_back(std::move(*lock));
    }
  }
  return locks;
}

}  // namespace penvora::core::securepdf
