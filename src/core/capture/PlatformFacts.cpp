#include "core/capture/PlatformFacts.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace penvora::core::capture::platform {
namespace {

std::string_view trim(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// One line of text fit for the record: up to the first NUL (device-tree
// strings end with one), '|' and control characters as spaces, since readers
// split the value on '|' and the record on line breaks; runs of spaces
// (cpuinfo pads model names) collapsed.
std::string clean(std::string_view s) {
  s = s.substr(0, s.find('\0'));
  std::string out;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    const bool blank = c == '|' || u < 0x20 || u == 0x7f || c == ' ';
    if (!blank) {
      out += c;
    } else if (!out.empty() && out.back() != ' ') {
      out += ' ';
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  return b.empty() ? a : a + " " + b;
}

template <typename F>
void forEachLine(std::string_view text, F&& f) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    if (!f(trim(text.substr(pos, eol - pos)))) return;
    pos = eol + 1;
  }
}

// Shell-style word: '...' literal, "..." with \" \\ \$ \` escapes, and a
// backslash outside quotes escaping any character.
std::string unquote(std::string_view v) {
  std::string out;
  char quote = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const char c = v[i];
    if (quote == '\'') {
      if (c == '\'')
        quote = 0;
      else
        out += c;
    } else if (c == '\\' && i + 1 < v.size() &&
               (!quote || std::string_view("\"\\$`").find(v[i + 1]) != std::string_view::npos)) {
      out += v[++i];
    } else if (c == '"') {
      quote = quote ? 0 : '"';
    } else if (c == '\'' && !quote) {
      quote = '\'';
    } else {
      out += c;
    }
  }
  return out;
}

bool containsWord(const std::string& lowered, std::string_view word) {
  for (std::size_t at = lowered.find(word); at != std::string::npos; at = lowered.find(word, at + 1)) {
    const bool startOk = at == 0 || !std::isalnum(static_cast<unsigned char>(lowered[at - 1]));
    const std::size_t end = at + word.size();
    const bool endOk = end == lowered.size() || !std::isalnum(static_cast<unsigned char>(lowered[end]));
    if (startOk && endOk) return true;
  }
  return false;
}

}  // namespace

std::string osReleaseValue(std::string_view contents, std::string_view key) {
  std::string found;
  forEachLine(contents, [&](std::string_view line) {
    const std::size_t eq = line.find('=');
    if (!line.empty() && line[0] != '#' && eq != std::string_view::npos && trim(line.substr(0, eq)) == key)
      found = unquote(trim(line.substr(eq + 1)));
    return true;
  });
  return found;
}

std::string cpuinfoValue(std::string_view contents, std::string_view key) {
  std::string found;
  forEachLine(contents, [&](std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || trim(line.substr(0, colon)) != key) return true;
    found = std::string(trim(line.substr(colon + 1)));
    return false;
  });
  return found;
}

bool isVirtualMachine(const PlatformSources& s) {
  const std::string names = lower(s.dmiVendor + " " + s.dmiProduct + " " + clean(s.deviceTreeModel));
  // VirtualBox's vendor is "innotek GmbH"; Hyper-V's is "Microsoft
  // Corporation" with the product "Virtual Machine".
  static constexpr std::array<std::string_view, 8> kWords = {"qemu",    "kvm",   "virtualbox", "vmware",
                                                             "innotek", "bochs", "xen",        "hyper-v"};
  const bool named = std::any_of(kWords.begin(), kWords.end(), [&](auto w) { return containsWord(names, w); });
  const bool hyperV = containsWord(names, "microsoft") && names.find("virtual machine") != std::string::npos;
  return named || hyperV || containsWord(lower(cpuinfoValue(s.cpuinfo, "flags")), "hypervisor");
}

std::string modelText(const PlatformSources& s) {
  const std::string vendor = clean(s.dmiVendor), product = clean(s.dmiProduct);
  // Some firmware repeats the vendor in the product name.
  std::string model = lower(product).rfind(lower(vendor), 0) == 0 ? product : join(vendor, product);
  if (model.empty()) model = clean(s.deviceTreeModel);
  if (model.empty()) model = clean(s.unameMachine);
  if (model.empty()) model = "unknown";
  return isVirtualMachine(s) ? "Simulator " + model : model;
}

std::string osVersionText(const PlatformSources& s) {
  std::string name = clean(osReleaseValue(s.osRelease, "PRETTY_NAME"));
  if (name.empty())
    name = join(clean(osReleaseValue(s.osRelease, "NAME")), clean(osReleaseValue(s.osRelease, "VERSION_ID")));
  if (name.empty()) name = kPlatformName;  // os-release's own default NAME
  const std::string kernel = clean(s.unameRelease);
  return kernel.empty() ? name : name + ", kernel " + kernel;
}

std::string architectureText(const PlatformSources& s) {
  std::string cpu = cpuinfoValue(s.cpuinfo, "model name");
  if (cpu.empty()) {
    // ARM names no model: the board's SoC and the core's part number.
    const std::string part = cpuinfoValue(s.cpuinfo, "CPU part");
    cpu = join(cpuinfoValue(s.cpuinfo, "Hardware"), part.empty() ? part : "CPU part " + part);
  }
  if (cpu.empty()) cpu = cpuinfoValue(s.cpuinfo, "cpu");    // POWER
  if (cpu.empty()) cpu = cpuinfoValue(s.cpuinfo, "uarch");  // RISC-V
  const std::string text = join(clean(s.unameMachine), clean(cpu));
  return text.empty() ? "unknown" : text;
}

PlatformFacts describe(const PlatformSources& s) { return {modelText(s), osVersionText(s), architectureText(s)}; }

}  // namespace penvora::core::capture::platform
