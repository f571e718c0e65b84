#pragma once
#include <cstddef>

namespace penvora::core::capture {

// How far a drawing is towards a signature worth accepting.
enum class ProgressLevel { red, orange, green };

constexpr int kPointsToCompleteProgressBar = 75;
// 25 points of 75 is the first count above this.
constexpr float kMinValueToEnableAcceptButton = 0.33f;

// May exceed 1 for long signatures; the bar clamps when drawing.
constexpr float progressValue(std::size_t pointCount, int pointsToComplete = kPointsToCompleteProgressBar) {
  return static_cast<float>(static_cast<double>(pointCount) / static_cast<double>(pointsToComplete));
}

constexpr ProgressLevel progressLevel(float value) {
  if (value < 0.3f) return ProgressLevel::red;
  if (value < 0.6f) return ProgressLevel::orange;
  return ProgressLevel::green;
}

constexpr bool acceptEnabled(float value) { return !(value < kMinValueToEnableAcceptButton); }

}  // namespace penvora::core::capture
