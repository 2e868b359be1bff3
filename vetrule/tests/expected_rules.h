#pragma once
// The text that vetrule writes for a section, for comparing whole rule files in tests.

#include <string>
#include <vector>

namespace vetrule_test {

// "[RuleNNN]" and its key lines, as written: CRLF line ends.
std::string section(const std::string& name, const std::vector<std::string>& keyLines);

// A sign-off rule section with its eight keys; users as they appear in Condition01.
std::string signOffSection(const std::string& name, const std::string& ruleName,
                           const std::string& supervisor, const std::vector<std::string>& users);

}  // namespace vetrule_test
