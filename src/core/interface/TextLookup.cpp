#include "core/interface/TextLookup.hpp"

#include <mutex>

namespace penvora::core::interface {
namespace {

std::mutex& lookupMutex() {
  static std::mutex m;
  return m;
}
TextLookup& installedLookup() {
  static TextLookup lookup;
  return lookup;
}

}  // namespace

void setDefaultTextLookup(TextLookup lookup) {
  std::lock_guard lock(lookupMutex());
  installedLookup() = std::move(lookup);
}

std::string localizedText(std::string_view key) {
  TextLookup lookup;
  {
    std::lock_guard lock(lookupMutex());
    lookup = installedLookup();
  }
  return lookup ? lookup(key) : std::string(key);
}

}  // namespace penvora::core::interface
