#include "core/securepdf/FetchBudget.hpp"

namespace penvora::core::securepdf {
namespace {

thread_local const FetchBudget* current = nullptr;
thread_local std::chrono::steady_clock::time_point currentDeadline;

}  // namespace

FetchBudget::FetchBudget()
    : deadline_(Clock::now() + std::chrono::seconds(kDeadlineSeconds)),
      outer_(current),
      outerDeadline_(currentDeadline) {
  // A budget inside another keeps the earlier deadline.
  if (!current || deadline_ < currentDeadline) currentDeadline = deadline_;
  current = this;
}

FetchBudget::~FetchBudget() {
  current = outer_;
  currentDeadline = outerDeadline_;
}

long FetchBudget::millisecondsLeftOnThisThread() {
  if (!current) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(currentDeadline - Clock::now()).count();
  return left > 0 ? static_cast<long>(left) : 0;
}

bool FetchBudget::expired() const { return Clock::now() >= deadline_; }

std::string FetchBudget::deadlineMessage() {
  return "no more answers waited for after " + std::to_string(kDeadlineSeconds) + " s";
}

void FetchBudget::note(std::string& errors, const std::string& error) {
  if (errors.find(error) != std::string::npos) return;  // said once is enough
  errors += (errors.empty() ? "" : "; ") + error;
}

}  // namespace penvora::core::securepdf
