#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mailsandbox {

// Standard base64 with "=" padding; nothing when the text is not valid base64.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace mailsandbox
