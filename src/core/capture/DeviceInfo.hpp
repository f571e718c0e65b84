#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace penvora::core::capture {

// The device facts of the biometric record.
class DeviceInfo {
 public:
  // The model name of this device (computed once per process): the uname
  // machine field mapped by the model table.
  static const std::string& deviceModelName();
  // The mapping itself. `simulatorModel` is the value of
  // SIMULATOR_MODEL_IDENTIFIER (absent when the variable is not set).
  static std::string modelName(const std::string& identifier, const std::optional<std::string>& simulatorModel);

  // The processor subtype text of this device; Linux has no subtype query,
  // so this is "-1:UNDEFINED".
  static std::string cpuArchitectureDescription();
  // The text for a subtype value (absent: the query failed).
  static std::string cpuSubtypeText(std::optional<std::int32_t> subtype);

  // The uname machine field, e.g. x86_64 or aarch64.
  static std::string hardwareIdentifier();
  // The operating system's version: the kernel release on Linux.
  static std::string systemVersion();
};

}  // namespace penvora::core::capture
