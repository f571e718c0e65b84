#pragma once
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace penvora::qt::document {
class PenvoraSDKSignatureViewController;
}

namespace penvora::demo {

// Plays a recorded ink file through the real widgets of a signing screen:
// taps on its buttons, strokes on the capture canvas with their timing,
// drags of the manual box, typed texts. Each step waits (up to its
// timeout) for what it acts on to appear.
class ReplayPlayer {
 public:
  explicit ReplayPlayer(nlohmann::json ink, int stepTimeoutMs = 10000);

  // Checks the file's form; the first problem, or empty.
  static std::string validate(const nlohmann::json& ink);

  // Plays every action; false (with `error()`) when a step could not run.
  // The screen may be gone after the last step.
  bool play(penvora::qt::document::PenvoraSDKSignatureViewController* screen);
  const std::string& error() const { return error_; }

 private:
  bool step(penvora::qt::document::PenvoraSDKSignatureViewController* c, const nlohmann::json& action);
  bool fail(std::string why);

  nlohmann::json ink_;
  int timeoutMs_;
  std::string error_;
  std::optional<double> lastStrokeEndMs_;  // on the recording's clock
};

}  // namespace penvora::demo
