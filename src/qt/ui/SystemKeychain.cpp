#include "penvora/SystemKeychain.hpp"

#include "qt/ui/QtKeychainStore.hpp"

namespace penvora {

void useSystemKeychain() { qt::ui::QtKeychainStore::installIfNeeded(); }

}  // namespace penvora
