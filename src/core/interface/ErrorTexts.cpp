#include "penvora/ErrorTexts.hpp"

#include <algorithm>
#include <cctype>

namespace penvora {

bool hasPdfExtension(std::string_view signedName) {
  constexpr std::string_view ext = ".pdf";
  if (signedName.size() < ext.size()) return false;
  auto tail = signedName.substr(signedName.size() - ext.size());
  return std::equal(tail.begin(), tail.end(), ext.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

std::string floatTextNotFoundMessage(std::string_view localisedIncorrectFloatText, std::string_view searchedText,
                                     std::string_view localisedOnDocument) {
  std::string m(localisedIncorrectFloatText);
  m += " '";
  m += searchedText;
  m += "' ";
  m += localisedOnDocument;
  return m;
}

}  // namespace penvora
