#pragma once
#include <string>
#include <string_view>

#include "penvora/Export.hpp"

namespace penvora {

// Every text the error callback can receive. Keys are looked up in the
// "Localizable" string table; fixed texts are passed as they stand.
namespace errorkey {
inline constexpr const char* IncorrectPDFExtension = "IncorrectPDFExtension";
inline constexpr const char* IncorrectPDFPassword = "IncorrectPDFPassword";
inline constexpr const char* IncorrectRatio = "IncorrectRatio";
inline constexpr const char* IncorrectSignatureSize = "IncorrectSignatureSize";
inline constexpr const char* IncorrectFindTextNil = "IncorrectFindTextNil";
inline constexpr const char* IncorrectFloatText = "IncorrectFloatText";
inline constexpr const char* onDocument = "onDocument";
}  // namespace errorkey

namespace errortext {
inline constexpr const char* NoDocument = "documentPath and documentUris could not be empty";
inline constexpr const char* MultidocumentManual = "multidocument is not compatible with manual positioning";
inline constexpr const char* DocumentNotAccessible = "documentPath or documentUris not valid or not accessible";
inline constexpr const char* ErrorSigning = "Error signing";
// handleDocument without its parameters or one of their parts.
inline constexpr const char* MissingParameters = "penvoraSDKParams or one of its members is missing";
// The screens are widgets: a host running only a QGuiApplication (Qt Quick)
// must create a QApplication instead.
inline constexpr const char* NeedsQApplication =
    "The signing screen needs a QApplication (its screens are Qt Widgets); create a QApplication instead of a "
    "QGuiApplication";
}  // namespace errortext

// Output-name check: the lower-cased name must end with ".pdf".
PENVORA_EXPORT bool hasPdfExtension(std::string_view signedName);

// "IncorrectFloatText" + " '" + text + "' " + "onDocument", both keys
// already localised by the caller.
PENVORA_EXPORT std::string floatTextNotFoundMessage(std::string_view localisedIncorrectFloatText,
                                                    std::string_view searchedText,
                                                    std::string_view localisedOnDocument);

}  // namespace penvora
