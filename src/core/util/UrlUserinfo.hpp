#pragma once
#include <string>
#include <string_view>

namespace penvora::core::util {

// A user name or password as it may stand before the "@" of a URL: the
// characters that would end it early ("@", "/", "?", "#", and ":" in the
// user name), "%" itself, spaces and controls are percent-escaped; the rest
// stays as written, so ordinary credentials read the same.
std::string userinfoEscaped(std::string_view text, bool userName);

// Where the user name and password of a URL end: the last "@" before the
// path, query or fragment, or npos when there is none. A "/", "?" or "#"
// in a password must be escaped for it to be read.
std::size_t userinfoEnd(std::string_view url);

// The URL to show: everything between "://" (or the start) and the last
// "@" replaced by "***", so whatever may be a password is never shown.
std::string withoutUserinfo(std::string_view url);

// The text with every "%" and two hexadecimal digits replaced by that byte;
// a "%" without them stays as it is.
std::string percentDecoded(std::string_view text);

}  // namespace penvora::core::util
