// The HARDWARE facts of the biometric record described from the texts a
// machine offers: DMI, device tree, os-release, cpuinfo and uname.
#include <gtest/gtest.h>

#include "core/capture/DeviceInfo.hpp"
#include "core/capture/PlatformFacts.hpp"

using namespace penvora::core::capture;

namespace {

const char* const kDebian =
    "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n";
const char* const kLaptopCpu =
    "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\n"
    "model name\t: 11th Gen Intel(R) Core(TM)   i7-1185G7 @ 3.00GHz\nflags\t\t: fpu vme de pse tsc msr\n"
    "processor\t: 1\nmodel name\t: other\n";
const char* const kGuestCpu = "model name\t: QEMU Virtual CPU version 2.5+\nflags\t\t: fpu vme hypervisor lahf_lm\n";
const char* const kPiCpu =
    "processor\t: 0\nBogoMIPS\t: 108.00\nCPU implementer\t: 0x41\nCPU part\t: 0xd08\n\n"
    "Hardware\t: BCM2835\nModel\t\t: Raspberry Pi 4 Model B Rev 1.4\n";

}  // namespace

TEST(PlatformFacts, DescribesEachKindOfMachine) {
  const std::pair<PlatformSources, PlatformFacts> machines[] = {
      {{"x86_64", "6.1.0-18-amd64", kDebian, kLaptopCpu, "LENOVO\n", "20XW\n", ""},
       {"LENOVO 20XW", "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64",
        "x86_64 11th Gen Intel(R) Core(TM) i7-1185G7 @ 3.00GHz"}},
      // An ARM board: device tree, NAME and VERSION_ID.
      {{"aarch64", "5.15.0-1034-raspi", "NAME=\"Ubuntu\"\nVERSION_ID=\"22.04\"\n", kPiCpu, "", "",
        std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31)},
       {"Raspberry Pi 4 Model B Rev 1.4", "Ubuntu 22.04, kernel 5.15.0-1034-raspi", "aarch64 BCM2835 CPU part 0xd08"}},
      {{"x86_64", "6.8.0", kDebian, kGuestCpu, "QEMU\n", "Standard PC (Q35 + ICH9, 2009)\n", ""},
       {"Simulator QEMU Standard PC (Q35 + ICH9, 2009)", "Debian GNU/Linux 12 (bookworm), kernel 6.8.0",
        "x86_64 QEMU Virtual CPU version 2.5+"}},
      {{"x86_64", "6.8.0", "", "", "Microsoft Corporation\n", "Virtual Machine\n", ""},
       {"Simulator Microsoft Corporation Virtual Machine", "Linux, kernel 6.8.0", "x86_64"}},
      {{"x86_64", "", "", "", "innotek GmbH\n", "VirtualBox\n", ""},
       {"Simulator innotek GmbH VirtualBox", "Linux", "x86_64"}},
      // A cloud guest, known by the hypervisor flag.
      {{"x86_64", "", "", kGuestCpu, "Amazon EC2\n", "m5.large\n", ""},
       {"Simulator Amazon EC2 m5.large", "Linux", "x86_64 QEMU Virtual CPU version 2.5+"}},
      // The vendor repeated, a bar, and a word that only starts with xen.
      {{"x86_64", "", "", "", "Xenonics\n", "Xenonics Pro|2\n", ""}, {"Xenonics Pro 2", "Linux", "x86_64"}},
      {{"ppc64le", "6.1.0", "", "processor\t: 0\ncpu\t\t: POWER9 (raw), altivec supported\n", "", "", ""},
       {"ppc64le", "Linux, kernel 6.1.0", "ppc64le POWER9 (raw), altivec supported"}},
      {{"riscv64", "6.6.0", "", "", "", "", ""}, {"riscv64", "Linux, kernel 6.6.0", "riscv64"}},  // uname only
      {{}, {"unknown", "Linux", "unknown"}},
  };
  for (const auto& [in, out] : machines) {
    const PlatformFacts f = platform::describe(in);
    EXPECT_EQ(std::tie(f.model, f.osVersion, f.architecture), std::tie(out.model, out.osVersion, out.architecture));
  }
}

TEST(PlatformFacts, ReadsOsReleaseLikeAShell) {
  const struct {
    const char* contents;
    const char* expected;
  } cases[] = {
      {"PRETTY_NAME=\"Fedora Linux 40 (Workstation Edition)\"", "Fedora Linux 40 (Workstation Edition)"},
      {"PRETTY_NAME='Arch Linux'", "Arch Linux"},
      {"PRETTY_NAME=Alpine\\ Linux\\ v3.19", "Alpine Linux v3.19"},
      {R"(PRETTY_NAME="Say \"hi\" \\ \$HOME \n")", R"(Say "hi" \ $HOME \n)"},
      {"PRETTY_NAME='it''s \"raw\" \\'", "its \"raw\" \\"},
      {"# PRETTY_NAME=\"comment\"\r\nPRETTY_NAME=first\r\n  PRETTY_NAME = \"last\"  \r\n", "last"},
      {"PRETTY_NAME_X=\"other key\"\nNAME=x", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::osReleaseValue(c.contents, "PRETTY_NAME"), c.expected) << c.contents;
}

TEST(PlatformFacts, ThisMachineIsDescribedOnOneLineWithoutBars) {
  EXPECT_EQ(&DeviceInfo::current(), &DeviceInfo::current());  // read once
  for (const std::string* text :
       {&DeviceInfo::deviceModelName(), &DeviceInfo::systemVersion(), &DeviceInfo::cpuArchitectureDescription()}) {
    EXPECT_FALSE(text->empty());
    EXPECT_EQ(text->find_first_of("|\r\n"), std::string::npos) << *text;
  }
  EXPECT_EQ(DeviceInfo::current().architecture.rfind(DeviceInfo::readSources().unameMachine, 0), 0u);
}
