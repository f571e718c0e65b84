// Full constructors whose substitutes need more than one line.
#include <cmath>
#include <limits>

#include "penvora/PenvoraSDKFileProperties.hpp"
#include "penvora/PenvoraSDKParams.hpp"
#include "penvora/PenvoraSDKWidget.hpp"

namespace penvora {
namespace {

// Host numbers arrive as doubles; truncate toward zero and saturate so a
// NaN or an out-of-range value never becomes undefined behaviour.
std::int64_t truncated(std::optional<double> v, std::int64_t absent) {
  if (!v) return absent;
  double d = std::trunc(*v);
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547748e18) return std::numeric_limits<std::int64_t>::max();
  if (d <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(d);
}

}  // namespace

PenvoraSDKFileProperties::PenvoraSDKFileProperties(std::string documentPath, std::vector<std::string> documentUris,
                                                   std::optional<std::string> signedName, bool isShareable,
                                                   std::optional<std::string> password,
                                                   std::optional<std::string> author, std::optional<std::string> reason,
                                                   std::optional<std::string> contact,
                                                   std::optional<std::string> location)
    : documentPath(std::move(documentPath)),
      documentUris(std::move(documentUris)),
      signedName(std::move(signedName).value_or(kDefaultSignedName)),
      isShareable(isShareable),
      password(std::move(password).value_or("")),
      author(std::move(author).value_or("")),
      reason(std::move(reason).value_or("")),
      contact(std::move(contact).value_or("")),
      location(std::move(location).value_or("")) {}

PenvoraSDKWidget::PenvoraSDKWidget(PenvoraSDKWidgetType widgetType, std::optional<std::string> widgetFloatText,
                                   std::optional<std::string> widgetFieldFieldname,
                                   std::optional<double> widgetManualRatio, std::optional<double> widgetFixedPage,
                                   std::optional<double> widgetFixedX, std::optional<double> widgetFixedY,
                                   std::optional<double> widgetWidth, std::optional<double> widgetHeight,
                                   std::optional<double> widgetFloatGapX, std::optional<double> widgetFloatGapY,
                                   std::vector<PenvoraSDKWidgetCustomText> widgetCustomText,
                                   std::optional<std::string> widgetCustomTextB64,
                                   std::optional<bool> requestWidgetCustomText, std::optional<bool> flexible,
                                   bool signOnAllPages, bool invisibleSignature)
    : widgetType(widgetType),
      widgetFloatText(std::move(widgetFloatText)),
      widgetFieldFieldname(std::move(widgetFieldFieldname)),
      widgetManualRatio(static_cast<float>(widgetManualRatio.value_or(1.5))),
      widgetFixedPage(truncated(widgetFixedPage, 0)),
      widgetFixedX(truncated(widgetFixedX, 0)),
      widgetFixedY(truncated(widgetFixedY, 0)),
      widgetFloatGapY(truncated(widgetFloatGapY, 0)),
      widgetFloatGapX(truncated(widgetFloatGapX, 0)),
      widgetCustomText(std::move(widgetCustomText)),
      widgetCustomTextB64(std::move(widgetCustomTextB64)),
      requestWidgetCustomText(requestWidgetCustomText.value_or(false)),
      widgetWidth(truncated(widgetWidth, 150)),
      widgetHeight(truncated(widgetHeight, 100)),
      flexible(flexible.value_or(false)),
      signOnAllPages(signOnAllPages),
      invisibleSignature(invisibleSignature) {}

PenvoraSDKParams::PenvoraSDKParams(std::shared_ptr<PenvoraSDKFileProperties> fileProperties,
                                   std::shared_ptr<PenvoraSDKCommonProperties> commonProperties,
                                   std::shared_ptr<PenvoraSDKWidget> widget, std::shared_ptr<PenvoraSDKTSP> tsp,
                                   std::shared_ptr<PenvoraSDKExtra> extra,
                                   std::shared_ptr<PenvoraSDKCertificate> certificate)
    : fileProperties(fileProperties ? std::move(fileProperties) : std::make_shared<PenvoraSDKFileProperties>()),
      commonProperties(commonProperties ? std::move(commonProperties) : std::make_shared<PenvoraSDKCommonProperties>()),
      widget(widget ? std::move(widget) : std::make_shared<PenvoraSDKWidget>()),
      tsp(tsp ? std::move(tsp) : std::make_shared<PenvoraSDKTSP>()),
      extra(extra ? std::move(extra) : std::make_shared<PenvoraSDKExtra>()),
      certificate(certificate ? std::move(certificate) : std::make_shared<PenvoraSDKCertificate>()) {}

}  // namespace penvora
