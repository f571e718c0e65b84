#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "penvora/PenvoraSDKWidget.hpp"
#include "penvora/Rect.hpp"

// The arithmetic of the signature box: the check run when the document is
// shown, the aspect ratio of the capture area, the choice of signature
// field and the boxes of fixed and float mode. Page space throughout: PDF
// points, y upwards, a box by its lower-left corner.
namespace penvora::core::document {

constexpr float kDefaultRatio = 2.5f;

// Looks a key up in the string table (a missing key yields the key).
using Localize = std::function<std::string(const std::string& key)>;
// Whether the shown document contains a text, case-insensitively.
using ContainsText = std::function<bool(const std::string& text)>;

// The message that ends the run, or none when the widget is usable.
std::optional<std::string> validateWidget(const PenvoraSDKWidget& widget, const ContainsText& containsText,
                                          const Localize& localize);

// The fixed and float size rule: a key or none.
std::optional<std::string> sizeProblem(std::int64_t width, std::int64_t height);

// width ÷ height of the capture area; `fieldBounds` is the chosen field's
// box in field mode (none when the document has no signature field).
float signatureRatio(const PenvoraSDKWidget& widget, const std::optional<Rect>& fieldBounds);

// One widget annotation met while walking the pages in order.
struct FieldCandidate {
  bool isSignature = false;
  std::optional<std::string> fieldName;
};
// The named signature field (the last one in document order carrying the
// name) and the first signature field, as indices into `annotations`.
struct FieldChoice {
  std::optional<std::size_t> named, first;
  std::optional<std::size_t> chosen() const { return named ? named : first; }
};
FieldChoice findSignatureField(const std::vector<FieldCandidate>& annotations,
                               const std::optional<std::string>& wantedName);

// Width of the box: twice the height when more than four times as wide.
std::int64_t boxWidth(std::int64_t width, std::int64_t height);
// The fixed-mode box and its page (1 when none is given).
Rect fixedBounds(const PenvoraSDKWidget& widget);
std::int64_t fixedPage(const PenvoraSDKWidget& widget);
// The float-mode box for a match whose bounds on its page are `match`:
// hanging gapY above the text's bottom, gapX right of its left edge.
Rect floatBounds(const PenvoraSDKWidget& widget, const Rect& match);

}  // namespace penvora::core::document
