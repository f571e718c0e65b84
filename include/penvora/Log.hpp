#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace penvora {

// Every diagnostic line of the component goes through here. By default a
// line is written to standard output; a host may redirect it.
using LogSink = std::function<void(std::string_view line)>;

void setLogSink(LogSink sink);  // an empty sink restores standard output
void log(std::string_view line);

}  // namespace penvora
