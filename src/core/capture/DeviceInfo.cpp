#include "core/capture/DeviceInfo.hpp"

#include <sys/utsname.h>

#include <cstdio>

namespace penvora::core::capture {
namespace {

// The beginning of a file, at most `limit` bytes; empty when unreadable.
// /proc and /sys files report no size, so read until EOF or the limit.
std::string readHead(const char* path, std::size_t limit) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return {};
  std::string text(limit, '\0');
  std::size_t got = 0;
  while (got < limit) {
    const std::size_t n = std::fread(text.data() + got, 1, limit - got, f);
    if (n == 0) break;
    got += n;
  }
  std::fclose(f);
  text.resize(got);
  return text;
}

constexpr std::size_t kSmallFile = 4096;
// The first processor's block (the x86 flags line alone is ~1.5 KB) and, on
// 32-bit ARM, the trailing Hardware line of boards with a few cores.
constexpr std::size_t kCpuinfo = 8192;

}  // namespace

PlatformSources DeviceInfo::readSources() {
  PlatformSources s;
  try {
    struct utsname u {};
    if (uname(&u) == 0) {
      s.unameMachine = u.machine;
      s.unameRelease = u.release;
    }
    s.osRelease = readHead("/etc/os-release", kSmallFile);
    if (s.osRelease.empty()) s.osRelease = readHead("/usr/lib/os-release", kSmallFile);
    s.cpuinfo = readHead("/proc/cpuinfo", kCpuinfo);
    s.dmiVendor = readHead("/sys/class/dmi/id/sys_vendor", kSmallFile);
    s.dmiProduct = readHead("/sys/class/dmi/id/product_name", kSmallFile);
    s.deviceTreeModel = readHead("/proc/device-tree/model", kSmallFile);
  } catch (...) {
    // Out of memory: describe what was read so far.
  }
  return s;
}

const PlatformFacts& DeviceInfo::current() {
  static const PlatformFacts facts = platform::describe(readSources());
  return facts;
}

}  // namespace penvora::core::capture
