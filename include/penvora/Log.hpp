#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "penvora/Export.hpp"

namespace penvora {

// Every diagnostic line of the component goes through here. By default a
// line is written to standard output; a host may redirect it.
using LogSink = std::function<void(std::string_view line)>;

PENVORA_EXPORT void setLogSink(LogSink sink);  // an empty sink restores standard output
PENVORA_EXPORT void log(std::string_view line);

}  // namespace penvora
