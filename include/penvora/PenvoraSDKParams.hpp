#pragma once
#include <memory>

#include "penvora/Export.hpp"
#include "penvora/PenvoraSDKCertificate.hpp"
#include "penvora/PenvoraSDKCommonProperties.hpp"
#include "penvora/PenvoraSDKExtra.hpp"
#include "penvora/PenvoraSDKFileProperties.hpp"
#include "penvora/PenvoraSDKTSP.hpp"
#include "penvora/PenvoraSDKWidget.hpp"

namespace penvora {

// Root of one signing request. Members are shared so that the host and the
// component see the same objects: the component writes a few fields back
// (viewLastPage, documentUris, password, widgetCustomText, the identity).
struct PENVORA_EXPORT PenvoraSDKParams {
  std::shared_ptr<PenvoraSDKFileProperties> fileProperties = std::make_shared<PenvoraSDKFileProperties>();
  std::shared_ptr<PenvoraSDKCommonProperties> commonProperties = std::make_shared<PenvoraSDKCommonProperties>();
  std::shared_ptr<PenvoraSDKWidget> widget = std::make_shared<PenvoraSDKWidget>();
  std::shared_ptr<PenvoraSDKTSP> tsp = std::make_shared<PenvoraSDKTSP>();
  std::shared_ptr<PenvoraSDKExtra> extra = std::make_shared<PenvoraSDKExtra>();
  std::shared_ptr<PenvoraSDKCertificate> certificate = std::make_shared<PenvoraSDKCertificate>();

  PenvoraSDKParams() = default;
  // Full constructor: the last three are optional; null gives a
  // default-constructed object.
  PenvoraSDKParams(std::shared_ptr<PenvoraSDKFileProperties> fileProperties,
                   std::shared_ptr<PenvoraSDKCommonProperties> commonProperties,
                   std::shared_ptr<PenvoraSDKWidget> widget, std::shared_ptr<PenvoraSDKTSP> tsp = nullptr,
                   std::shared_ptr<PenvoraSDKExtra> extra = nullptr,
                   std::shared_ptr<PenvoraSDKCertificate> certificate = nullptr);
};

}  // namespace penvora
