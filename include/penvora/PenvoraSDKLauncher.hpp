#pragma once
#include <memory>

#include "penvora/Export.hpp"
#include "penvora/PenvoraSDKCallbacks.hpp"
#include "penvora/PenvoraSDKParams.hpp"

class QWidget;

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
  static void handleDocument(std::shared_ptr<PenvoraSDKParams> penvoraSDKParams, QWidget* on,
                             SuccessCallback successCallback, RejectCallback rejectCallback,
                             ErrorCallback errorCallback);
};

}  // namespace penvora
