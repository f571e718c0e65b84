// What the Qt layer offers the core as soon as the library is loaded, so
// that core calls a host makes before its first request behave as they
// do after it: the system keychain as the identity store, and the
// component's string table for texts such as a widget type's description.
#include "core/engine/DefaultSecretStore.hpp"
#include "core/interface/TextLookup.hpp"
#include "qt/ui/Localization.hpp"
#include "qt/ui/QtKeychainStore.hpp"

namespace penvora::qt::ui {
namespace {

const bool offered = [] {
  core::engine::setDefaultSecretStore([] { return std::make_shared<QtKeychainStore>(); });
  core::interface::setDefaultTextLookup(
      [](std::string_view key) { return localizedString(QString::fromUtf8(key.data(), key.size())).toStdString(); });
  return true;
}();

}  // namespace
}  // namespace penvora::qt::ui
