#pragma once
// MIME text helpers shared by composition, decoding and the decoding plug-in:
// header parameters, encoded words, part file names from the sender, and part
// files that never replace another file.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace groundkit::mime {

bool equalsNoCase(std::string_view a, std::string_view b);
std::string lowerCase(std::string_view text);
std::string_view trimBlanks(std::string_view text);
bool hasLineBreak(std::string_view text);

// Every '=?charset?B|Q?text?=' of the text decoded to its bytes (no charset
// conversion); blanks between two adjacent encoded words vanish.
std::string decodeEncodedWords(std::string_view text);

// The value of one parameter of a header value's parameter text ('a=1; name="x
// y"; b*=...'), matched without regard to case: quoted strings unescaped, RFC
// 2231 continuations and percent-encoding joined and decoded, encoded words
// decoded. Nothing when it is absent.
std::optional<std::string> parameterValue(std::string_view parameters, std::string_view name);

// A parameter as composition writes it: 'name="value"' with '"' and '\'
// escaped, or, when the value holds anything but printable ASCII,
// 'name*=charset''percent-encoded'.
std::string formatParameter(std::string_view name, std::string_view value,
                            std::string_view charset);

// A part's file name as the sender gave it, reduced to something that stays
// inside the output directory: the last path component, at most 200 bytes, no
// control characters, not "." or "..", none of the characters that Windows file
// systems refuse. Empty when it cannot be used.
std::string safeFileName(std::string_view name);

// The part file for a name in the directory: "<dir>/<name>", or
// "<dir>/<n>-<name>" for n = 10, 11,
// ... when the file or its ".tmp" companion exists. Both are created empty and
// exclusively, so no existing file is ever replaced; the final path is returned
// (nothing when no number was free).
std::optional<std::string> reservePartFile(const std::string& directory, const std::string& name);

// Creates the file exclusively for writing in binary mode; null when it exists
// or cannot be made.
std::FILE* createNewFile(const std::string& path);

// The charset name of this process's narrow strings.
const char* narrowCharset();

}  // namespace groundkit::mime
