#pragma once
#include <string>
#include <string_view>

namespace penvora::core::capture {

// The platform word of the SDK's name in the record's SOFTWARE value, the
// signature's filter name and its build properties.
inline constexpr char kPlatformName[] = "Linux";

// What the machine tells about itself, as read from its files. Any text may
// be empty (unreadable, or absent on this kind of machine).
struct PlatformSources {
  std::string unameMachine;     // e.g. x86_64, aarch64
  std::string unameRelease;     // the kernel release
  std::string osRelease;        // /etc/os-release
  std::string cpuinfo;          // /proc/cpuinfo (its beginning)
  std::string dmiVendor;        // /sys/class/dmi/id/sys_vendor
  std::string dmiProduct;       // /sys/class/dmi/id/product_name
  std::string deviceTreeModel;  // /proc/device-tree/model, NUL-terminated
};

// The record's HARDWARE facts. Never empty, never containing '|' (the
// value's separator) nor line breaks.
struct PlatformFacts {
  std::string model;         // "LENOVO 20XW", "Raspberry Pi 4 Model B Rev 1.4", "Simulator QEMU KVM"
  std::string osVersion;     // "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64"
  std::string architecture;  // "x86_64 Intel(R) Core(TM) i7-1185G7 @ 3.00GHz"
};

// Pure functions over the texts, so any machine can be described in a test.
namespace platform {
// The value of `key` in os-release contents (shell-style quotes and
// backslash escapes undone; the last assignment wins); empty if absent.
std::string osReleaseValue(std::string_view contents, std::string_view key);
// The value of the first "key : value" line of cpuinfo contents; empty if absent.
std::string cpuinfoValue(std::string_view contents, std::string_view key);
// Whether the facts name an emulator or a virtual machine.
bool isVirtualMachine(const PlatformSources& s);
std::string modelText(const PlatformSources& s);
std::string osVersionText(const PlatformSources& s);
std::string architectureText(const PlatformSources& s);
PlatformFacts describe(const PlatformSources& s);
}  // namespace platform

}  // namespace penvora::core::capture
