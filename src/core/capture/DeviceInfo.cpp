#include "core/capture/DeviceInfo.hpp"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

namespace penvora::core::capture {
namespace {

const std::unordered_map<std::string_view, std::string_view>& modelTable() {
  static const std::unordered_map<std::string_view, std::string_view> table = [] {
    std::unordered_map<std::string_view, std::string_view> t;
    auto add = [&t](std::initializer_list<std::string_view> ids, std::string_view name) {
      for (auto id : ids) t.emplace(id, name);
    };
    add({"iPod5,1"}, "iPod Touch 5");
    add({"iPod7,1"}, "iPod Touch 6");
    add({"iPhone3,1", "iPhone3,2", "iPhone3,3"}, "iPhone 4");
    add({"iPhone4,1"}, "iPhone 4s");
    add({"iPhone5,1", "iPhone5,2"}, "iPhone 5");
    add({"iPhone5,3", "iPhone5,4"}, "iPhone 5c");
    add({"iPhone6,1", "iPhone6,2"}, "iPhone 5s");
    add({"iPhone7,2"}, "iPhone 6");
    add({"iPhone7,1"}, "iPhone 6 Plus");
    add({"iPhone8,1"}, "iPhone 6s");
    add({"iPhone8,2"}, "iPhone 6s Plus");
    add({"iPhone9,1", "iPhone9,3"}, "iPhone 7");
    add({"iPhone9,2", "iPhone9,4"}, "iPhone 7 Plus");
    add({"iPhone8,4"}, "iPhone SE");
    add({"iPhone10,1", "iPhone10,4"}, "iPhone 8");
    add({"iPhone10,2", "iPhone10,5"}, "iPhone 8 Plus");
    add({"iPhone10,3", "iPhone10,6"}, "iPhone X");
    add({"iPad2,1", "iPad2,2", "iPad2,3", "iPad2,4"}, "iPad 2");
    add({"iPad3,1", "iPad3,2", "iPad3,3"}, "iPad 3");
    add({"iPad3,4", "iPad3,5", "iPad3,6"}, "iPad 4");
    add({"iPad4,1", "iPad4,2", "iPad4,3"}, "iPad Air");
    add({"iPad5,3", "iPad5,4"}, "iPad Air 2");
    add({"iPad6,11", "iPad6,12"}, "iPad 5");
    add({"iPad7,5", "iPad7,6"}, "iPad 6");
    add({"iPad2,5", "iPad2,6", "iPad2,7"}, "iPad Mini");
    add({"iPad4,4", "iPad4,5", "iPad4,6"}, "iPad Mini 2");
    add({"iPad4,7", "iPad4,8", "iPad4,9"}, "iPad Mini 3");
    add({"iPad5,1", "iPad5,2"}, "iPad Mini 4");
    add({"iPad6,3", "iPad6,4"}, "iPad Pro 9.7 Inch");
    add({"iPad6,7", "iPad6,8"}, "iPad Pro 12.9 Inch");
    add({"iPad7,1", "iPad7,2"}, "iPad Pro 12.9 Inch 2. Generation");
    add({"iPad7,3", "iPad7,4"}, "iPad Pro 10.5 Inch");
    add({"AppleTV5,3"}, "Apple TV");
    add({"AppleTV6,2"}, "Apple TV 4K");
    add({"AudioAccessory1,1"}, "HomePod");
    return t;
  }();
  return table;
}

std::string mapOnce(const std::string& identifier) {
  auto it = modelTable().find(identifier);
  return it == modelTable().end() ? identifier : std::string(it->second);
}

}  // namespace

std::string DeviceInfo::modelName(const std::string& identifier, const std::optional<std::string>& simulatorModel) {
  if (identifier == "i386" || identifier == "x86_64") return "Simulator " + mapOnce(simulatorModel.value_or("iOS"));
  return mapOnce(identifier);
}

const std::string& DeviceInfo::deviceModelName() {
  static const std::string name = [] {
    const char* sim = std::getenv("SIMULATOR_MODEL_IDENTIFIER");
    return modelName(hardwareIdentifier(), sim ? std::optional<std::string>(sim) : std::nullopt);
  }();
  return name;
}

std::string DeviceInfo::hardwareIdentifier() {
  struct utsname u {};
  if (uname(&u) != 0) return {};
  return std::string(u.machine);  // up to the first zero byte
}

std::string DeviceInfo::systemVersion() {
  struct utsname u {};
  if (uname(&u) != 0) return {};
  return std::string(u.release);
}

std::string DeviceInfo::cpuSubtypeText(std::optional<std::int32_t> subtype) {
  if (!subtype) return "-1:UNDEFINED";
  static const char* const names[] = {"ARM64_ALL", "ARM64_V8",  "ARM64E",     "UNKNOWN", "UNKNOWN",  "ARM_V4T",
                                      "ARM_V6",    "ARM_V5TEJ", "ARM_XSCALE", "ARM_V7",  "ARM_V7F",  "ARM_V7S",
                                      "ARM_V7K",   "ARM_V8",    "ARM_V6M",    "ARM_V7M", "ARM_V7EM", "ARM_V8M"};
  const auto u = static_cast<std::uint32_t>(*subtype);
  const char* name = u < std::size(names) ? names[u] : "UNKNOWN";
  char hex[16];
  const std::int64_t v = *subtype;
  std::snprintf(hex, sizeof hex, "%s%llx", v < 0 ? "-" : "", static_cast<unsigned long long>(v < 0 ? -v : v));
  return std::string(hex) + ": " + name;
}

std::string DeviceInfo::cpuArchitectureDescription() {
  // There is no "hw.cpusubtype" on Linux; the query counts as failed.
  return cpuSubtypeText(std::nullopt);
}

}  // namespace penvora::core::capture
