#pragma once
// Paths and names are UTF-8 in this system; the system's "W" calls take and give UTF-16. Every name
// handed to the system goes through toWide, every name coming back through toUtf8, so that no name
// ever passes through the code page.

#include <string>
#include <string_view>

namespace platform {

// False, with the last error 1113 (ERROR_NO_UNICODE_TRANSLATION), when the text is not valid UTF-8,
// and 123 (ERROR_INVALID_NAME) when it holds a zero byte, which would cut the name short.
bool toWide(std::string_view utf8, std::wstring& wide);
// Unpaired surrogates, which the system may hold in a name, become U+FFFD.
std::string toUtf8(std::wstring_view wide);

}  // namespace platform
