#pragma once
#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Command-line reading shared by the tools: every mistake becomes one
// line naming the option, then the usage, and exit code 2.
namespace penvora::tools {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Option {
  std::string name;  // "--page"
  bool takesValue = false;
  std::function<void(const std::string& value)> apply;  // may throw UsageError
  // A secret (a password) may also come as NAME-env VARIABLE, from the
  // environment, where other users' process lists do not show it.
  bool secret = false;
};

// The arguments that are not options, in order. Options may come anywhere;
// "--" ends them. Throws UsageError for an unknown option, a missing value
// or an unset variable.
std::vector<std::string> parseOptions(int argc, char** argv, const std::vector<Option>& options);

// A whole number in [min, max], or UsageError naming `option`.
long long wholeNumber(const std::string& option, const std::string& text, long long min, long long max);

// Larger than any page a PDF reader accepts (200 inches), so a bad value
// is caught here rather than deep in the signing.
constexpr double kMaxPoints = 14400;

// X,Y,W,H in points: four finite numbers, |v| <= kMaxPoints, W and H > 0.
std::array<double, 4> rectangle(const std::string& option, const std::string& text);

// A value that names a file must not be empty.
std::string fileName(const std::string& option, const std::string& text);

// "tool: message" and the usage on standard error; returns 2.
int usageFailure(const std::string& tool, const std::string& message, const std::string& usage);

// Why an output (a `what`: "picture", "report") may not go to `path`, or
// nothing: it is one of the `inputs`, an existing file without
// --overwrite, a file `neverReplaced` names a reason to keep (--overwrite
// or not), or no regular file. Checked before anything is read, so a slip
// on the command line costs no input or evidence file.
std::string outputProblem(const std::string& path, const std::vector<std::string>& inputs, bool overwrite,
                          const std::string& what,
                          const std::function<std::string(const std::string& path)>& neverReplaced);

// The library's message, said for a person at a command line: a locked
// document opened without a password needs one, rather than having a
// wrong one.
std::string withPasswordHint(const std::string& message, bool wrongPassword, const std::string& password);

}  // namespace penvora::tools
