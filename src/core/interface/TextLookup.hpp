#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace penvora::core::interface {

// The component's string table as the core sees it. The core has no
// translations of its own; the Qt layer offers its lookup when it loads.
using TextLookup = std::function<std::string(std::string_view key)>;
void setDefaultTextLookup(TextLookup lookup);
// The localised text of `key`, or the key itself without a lookup.
std::string localizedText(std::string_view key);

}  // namespace penvora::core::interface
