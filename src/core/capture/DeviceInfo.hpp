#pragma once
#include <string>

#include "core/capture/PlatformFacts.hpp"

namespace penvora::core::capture {

// The device facts of the biometric record, read from this machine.
class DeviceInfo {
 public:
  // The facts described from readSources(), computed once per process.
  static const PlatformFacts& current();
  // Shorthands for the three HARDWARE values.
  static const std::string& deviceModelName() { return current().model; }
  static const std::string& systemVersion() { return current().osVersion; }
  static const std::string& cpuArchitectureDescription() { return current().architecture; }

  // Reads uname and the small files the facts come from, each once and a
  // few KB at most; a file that cannot be read leaves its text empty.
  // Never throws.
  static PlatformSources readSources();
};

}  // namespace penvora::core::capture
