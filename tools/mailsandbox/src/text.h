#pragma once
// Small text helpers. Comparisons ignore the case of ASCII letters only: mail addresses, header
// names and protocol verbs are ASCII, everything else is compared as bytes.

#include <string>
#include <string_view>
#include <vector>

namespace mailsandbox {

std::string toLower(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);
bool containsIgnoringCase(std::string_view text, std::string_view part);
std::string_view trimBlanks(std::string_view text);
// The line without its line end ("\r\n" or "\n").
std::string_view withoutLineEnd(std::string_view line);
// Pieces between the separators, empty ones included.
std::vector<std::string> split(std::string_view text, char separator);

}  // namespace mailsandbox
