#include <gtest/gtest.h>

#include "core/capture/DeviceInfo.hpp"
#include "core/capture/LocationFix.hpp"

using namespace penvora::core::capture;

using penvora::core::capture::DeviceInfo;

TEST(DeviceModel, TableAndSimulator) {
  EXPECT_EQ(DeviceInfo::modelName("iPad6,11", std::nullopt), "iPad 5");
  EXPECT_EQ(DeviceInfo::modelName("iPad6,1", std::nullopt), "iPad6,1");
  EXPECT_EQ(DeviceInfo::modelName("iPhone10,6", std::nullopt), "iPhone X");
  EXPECT_EQ(DeviceInfo::modelName("AudioAccessory1,1", std::nullopt), "HomePod");
  EXPECT_EQ(DeviceInfo::modelName("x86_64", std::nullopt), "Simulator iOS");
  EXPECT_EQ(DeviceInfo::modelName("i386", std::string("iPhone10,3")), "Simulator iPhone X");
  EXPECT_EQ(DeviceInfo::modelName("x86_64", std::string("Pixel")), "Simulator Pixel");
  EXPECT_EQ(DeviceInfo::modelName("aarch64", std::nullopt), "aarch64");
  EXPECT_EQ(DeviceInfo::modelName("ipad6,11", std::nullopt), "ipad6,11");  // exact match only
  EXPECT_FALSE(DeviceInfo::deviceModelName().empty());
  EXPECT_FALSE(DeviceInfo::systemVersion().empty());
}

TEST(CpuSubtype, Texts) {
  EXPECT_EQ(DeviceInfo::cpuSubtypeText(std::nullopt), "-1:UNDEFINED");
  EXPECT_EQ(DeviceInfo::cpuSubtypeText(0), "0: ARM64_ALL");
  EXPECT_EQ(DeviceInfo::cpuSubtypeText(2), "2: ARM64E");
  EXPECT_EQ(DeviceInfo::cpuSubtypeText(3), "3: UNKNOWN");
  EXPECT_EQ(DeviceInfo::cpuSubtypeText(17), "11: ARM_V8M");
  EXPECT_EQ(DeviceInfo::cpuSubtypeText(18), "12: UNKNOWN");
  EXPECT_EQ(DeviceInfo::cpuSubtypeText(-2), "-2: UNKNOWN");
  EXPECT_EQ(DeviceInfo::cpuArchitectureDescription(), "-1:UNDEFINED");
}

TEST(LocationStatus, Texts) {
  EXPECT_EQ(penvora::core::capture::statusString(1), "restricted");
  EXPECT_EQ(penvora::core::capture::statusString(4), "authorizedWhenInUse");
  EXPECT_EQ(penvora::core::capture::statusString(7), "unknown");
  EXPECT_EQ(penvora::core::capture::statusString(static_cast<const penvora::core::capture::LocationAuthorization*>(nullptr)), "unknown");
}
