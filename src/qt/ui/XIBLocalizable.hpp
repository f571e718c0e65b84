#pragma once
#include <QString>
#include <optional>

class QAbstractButton;
class QLabel;
class QObject;
class QWidget;

namespace penvora::qt::ui {

// How an interface file names a text key for a label or a button: the
// dynamic property "xibLocKey" written on it. Setting a key shows its
// localised text (a button's title); setting none clears the text. The key
// is not kept: reading it yields nothing.
namespace XIBLocalizable {

inline constexpr const char* kProperty = "xibLocKey";

void setXibLocKey(QLabel* label, const std::optional<QString>& key);
void setXibLocKey(QAbstractButton* button, const std::optional<QString>& key);
inline std::optional<QString> xibLocKey(const QObject*) { return std::nullopt; }

// Gives every label and button under `root` (itself included) whose
// interface file set a key that key's text, and drops the key.
void applyXibLocKeys(QWidget* root);

}  // namespace XIBLocalizable
}  // namespace penvora::qt::ui
