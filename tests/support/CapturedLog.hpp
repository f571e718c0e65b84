#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "penvora/Log.hpp"

// Collects the component's log lines while it lives.
struct CapturedLog {
  std::vector<std::string> lines;
  CapturedLog() {
    penvora::setLogSink([this](std::string_view l) { lines.emplace_back(l); });
  }
  ~CapturedLog() { penvora::setLogSink({}); }
  bool contains(std::string_view line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
};
