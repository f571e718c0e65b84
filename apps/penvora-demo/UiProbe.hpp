#pragma once
#include <QObject>
#include <QPointer>
#include <string>

#include "ProbeInput.hpp"

class QSocketNotifier;

namespace penvora::qt::document {
class PenvoraSDKSignatureViewController;
}

namespace penvora::demo {

// For the real-window tests: each line read on standard input is answered
// on standard output with one "probe: {json}" line describing what a
// person sees: the component's window, the topmost overlay, the capture
// panel, the focused control and the on-screen places of the buttons (in
// screen coordinates, so a test can click them through the window system).
// "windowed W H" first makes the window an ordinary W x H one; a gesture
// line (see ProbeInput) starts touch or pen input into the window, and
// "busy" stays true until it has been played.
class UiProbe : public QObject {
 public:
  explicit UiProbe(penvora::qt::document::PenvoraSDKSignatureViewController* screen, QObject* parent = nullptr);
  std::string describe() const;

 private:
  void readCommands();
  QPointer<penvora::qt::document::PenvoraSDKSignatureViewController> screen_;
  QSocketNotifier* input_;
  std::string pending_;
  ProbeInput gestures_;
};

}  // namespace penvora::demo
