#include "expected_rules.h"

namespace vetrule_test {

std::string section(const std::string& name, const std::vector<std::string>& keyLines) {
  std::string text = "[" + name + "]\r\n";
  for (const std::string& line : keyLines) text += line + "\r\n";
  return text;
}

std::string signOffSection(const std::string& name, const std::string& ruleName,
                           const std::string& supervisor, const std::vector<std::string>& users) {
  std::string condition = "Condition01=FROM|contains|OR|";
  for (const std::string& user : users) condition += user + "|";
  return section(name, {"RuleName=" + ruleName, "Enable=Yes", "ThisRuleCondition=All",
                        "ProcessQueue=REMOTE", condition,
                        "Condition02=X-Sign|does not contain|AND|vandry!|",
                        "Action01=copy to|\"" + supervisor + "\"", "Action02=delete|"});
}

}  // namespace vetrule_test
