#include "ToolOptions.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/util/FileReplace.hpp"

namespace penvora::tools {

std::vector<std::string> parseOptions(int argc, char** argv, const std::vector<Option>& options) {
  std::vector<std::string> rest;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      rest.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    const Option* found = nullptr;
    bool fromEnvironment = false;
    for (const auto& o : options) {
      if (o.name == a) found = &o;
      if (o.secret && o.name + "-env" == a) found = &o, fromEnvironment = true;
    }
    if (!found) throw UsageError("unknown option " + a);
    if (!found->takesValue) {
      found->apply({});
      continue;
    }
    if (i + 1 >= argc) throw UsageError(a + " needs a value");
    const char* value = argv[++i];
    if (fromEnvironment) {
      value = std::getenv(value);
      if (!value) throw UsageError(a + ": the variable " + std::string(argv[i]) + " is not set");
    }
    found->apply(value);
  }
  return rest;
}

long long wholeNumber(const std::string& option, const std::string& text, long long min, long long max) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc::result_out_of_range ||
      (ec == std::errc() && end == text.data() + text.size() && (v < min || v > max)))
    throw UsageError(option + " " + text + " is out of range (" + std::to_string(min) + " to " + std::to_string(max) +
                     ")");
  if (ec != std::errc() || end != text.data() + text.size() || text.empty())
    throw UsageError(option + " needs a whole number, not '" + text + "'");
  return v;
}

std::array<double, 4> rectangle(const std::string& option, const std::string& text) {
  std::array<double, 4> r{};
  const char* p = text.data();
  const char* const end = text.data() + text.size();
  for (std::size_t i = 0; i < r.size(); ++i) {
    if (i > 0) {
      if (p == end || *p != ',') throw UsageError(option + " needs X,Y,W,H, not '" + text + "'");
      ++p;
    }
    const auto [next, ec] = std::from_chars(p, end, r[i]);
    if (ec == std::errc::result_out_of_range || (ec == std::errc() && !std::isfinite(r[i])))
      throw UsageError(option + " value '" + std::string(p, next) + "' is out of range");
    if (ec != std::errc()) throw UsageError(option + " needs X,Y,W,H, not '" + text + "'");
    p = next;
  }
  if (p != end) throw UsageError(option + " needs X,Y,W,H, not '" + text + "'");
  for (double v : r)
    if (std::abs(v) > kMaxPoints)
      throw UsageError(option + " values must lie within -" + std::to_string(static_cast<int>(kMaxPoints)) + " and " +
                       std::to_string(static_cast<int>(kMaxPoints)) + " points");
  if (r[2] <= 0 || r[3] <= 0) throw UsageError(option + " needs a width and a height above 0");
  return r;
}

std::string fileName(const std::string& option, const std::string& text) {
  if (text.empty()) throw UsageError(option + " needs a file name");
  return text;
}

int usageFailure(const std::string& tool, const std::string& message, const std::string& usage) {
  std::fprintf(stderr, "%s: %s\n%s", tool.c_str(), message.c_str(), usage.c_str());
  return 2;
}

std::string outputProblem(const std::string& path, const std::vector<std::string>& inputs, bool overwrite,
                          const std::string& what,
                          const std::function<std::string(const std::string& path)>& neverReplaced) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty() || !fs::exists(fs::symlink_status(path, ec))) return "";
  for (const auto& input : inputs)
    if (!input.empty() && fs::equivalent(path, input, ec))
      return path + " is one of the inputs: the " + what + " needs a name of its own";
  if (!overwrite) return path + " exists and is kept (--overwrite replaces it)";
  if (std::string reason = neverReplaced(path); !reason.empty()) return reason;
  try {
    core::util::checkReplaceable(path, true);
  } catch (const core::util::FileReplaceError& e) {
    return e.what();
  }
  return "";
}

std::string withPasswordHint(const std::string& message, bool wrongPassword, const std::string& password) {
  if (!wrongPassword || !password.empty()) return message;
  return "The PDF needs a password (--password or --password-env)";
}

}  // namespace penvora::tools
