#pragma once
// Header values as readers show them, and back.

#include <string>
#include <string_view>

// The unfolded value of a header field as UTF-8 text: every encoded word decoded from its charset
// (the blanks between two adjacent words dropped, the bytes of adjacent words of one charset joined
// before they are converted), other bytes read as UTF-8 or else GB18030. A word of a charset that
// is not known, or that is not well formed, stays as it stands. Control characters become blanks.
std::string DecodeHeaderText(std::string_view value);

// The header field "name: value" with its CR LF: the value as it is when it is plain ASCII, else as
// UTF-8 encoded words folded to lines of at most 76 characters.
std::string EncodeHeaderField(const std::string& name, const std::string& utf8Value);
