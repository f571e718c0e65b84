#pragma once
#include <QString>
#include <optional>

namespace penvora::qt::ui {

// Why one font file could not be registered, in the order checked.
enum class RegisterFontError { invalidFontFile, fontPathNotFound, initFontError, registerFailed };

QString describe(RegisterFontError error);

// Registers one file `name`.ttf of `folder`; the reason when it fails.
std::optional<RegisterFontError> registerFontFile(const QString& folder, const QString& name);

// Registers the Asap fonts (regular, italic, bold) unless the "Asap" family
// is already available, then the Exo 2 fonts the panels use. The first
// failure of a family is logged and ends that family; nothing reaches the
// caller. `fontFolder` is where the .ttf files live (the resources).
void registerFontsIfNeeded(const QString& fontFolder = QStringLiteral(":/penvora/fonts"));

}  // namespace penvora::qt::ui
