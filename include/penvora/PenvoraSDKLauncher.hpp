#pragma once
#include <memory>

#include "penvora/Export.hpp"
#include "penvora/PenvoraSDKCallbacks.hpp"
#include "penvora/PenvoraSDKParams.hpp"

class QWidget;
class QWindow;

namespace penvora {

// The component's only entry point. Call `handleDocument` on the main
// thread once per signing request; it returns as soon as the signing
// screen is on its way, and the outcome arrives through the callbacks.
class PENVORA_EXPORT PenvoraSDKLauncher {
 public:
  PenvoraSDKLauncher() = default;

  // `penvoraSDKParams` is kept (not copied) and updated as the request
  // runs (chosen identity, typed custom text). `on` is the host widget the
  // screen is shown over; it must stay alive while the screen is up.
  //
  // The screens are Qt Widgets, so the application object must be a
  // QApplication (a Qt Quick host creates a QApplication instead of a
  // QGuiApplication; QML runs unchanged in it). Without one, nothing is
  // shown and the error callback gets errortext::NeedsQApplication.
  static void handleDocument(std::shared_ptr<PenvoraSDKParams> penvoraSDKParams, QWidget* on,
                             SuccessCallback successCallback, RejectCallback rejectCallback,
                             ErrorCallback errorCallback);
  // The same over a window that is not a widget (a QQuickWindow): the
  // screen's window is its transient child, kept above it and centred on
  // it by the window manager, and takes its size. `on` must stay alive
  // while the screen is up.
  static void handleDocument(std::shared_ptr<PenvoraSDKParams> penvoraSDKParams, QWindow* on,
                             SuccessCallback successCallback, RejectCallback rejectCallback,
                             ErrorCallback errorCallback);
};

}  // namespace penvora
