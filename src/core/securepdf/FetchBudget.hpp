#pragma once
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "core/securepdf/SecurePdfError.hpp"

namespace penvora::core::securepdf {

// Time and addresses for a round of requests (validation data, or a
// verifier's online revocation checks): at most a few addresses per kind,
// and one deadline for all, which also shortens each request's own time
// limit while the budget is in force on this thread.
class FetchBudget {
 public:
  static constexpr std::time_t kDeadlineSeconds = 120;
  static constexpr std::size_t kAddressesPerKind = 2;

  FetchBudget();
  ~FetchBudget();
  FetchBudget(const FetchBudget&) = delete;
  FetchBudget& operator=(const FetchBudget&) = delete;

  // Runs `ask` on each of the first addresses in turn until one answers;
  // their errors, joined into `errors`, when none does.
  template <typename Ask>
  bool firstAnswer(const std::vector<std::string>& urls, std::string& errors, Ask ask) {
    for (std::size_t i = 0; i < urls.size() && i < kAddressesPerKind; ++i) {
      if (expired()) {
        note(errors, deadlineMessage());
        return false;
      }
      try {
        ask(urls[i]);
        return true;
      } catch (const SecurePdfError& e) {
        note(errors, e.what());
      }
    }
    return false;
  }

  // Milliseconds left for a request made now under the budget in force on
  // this thread; -1 when none is.
  static long millisecondsLeftOnThisThread();

 private:
  bool expired() const;
  static std::string deadlineMessage();
  static void note(std::string& errors, const std::string& error);

  // Steady: setting the machine's clock neither ends a budget nor stretches it.
  using Clock = std::chrono::steady_clock;

  Clock::time_point deadline_;
  const FetchBudget* outer_;         // the budget in force before this one, if any
  Clock::time_point outerDeadline_;  // and the deadline it set
};

}  // namespace penvora::core::securepdf
