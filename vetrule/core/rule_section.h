#pragma once
// The sections of the mail server's content-filter rule file, as vetrule holds them in memory.

#include <string>
#include <utility>
#include <vector>

namespace vetrule {

// Key to value; keys are compared with case. Setting a key again replaces its value in place, so
// iteration follows the order in which the keys first appeared. Sections hold a handful of keys,
// so a linear search is all it needs.
class KeyMap {
 public:
  using Entry = std::pair<std::string, std::string>;

  void set(std::string key, std::string value);
  const std::string* find(const std::string& key) const;
  // The value of key, or an empty string when the key is missing.
  std::string valueOf(const std::string& key) const;

  bool empty() const { return entries_.empty(); }
  std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  std::vector<Entry> entries_;
};

struct RuleSection {
  // The whole header line as read; empty for a built section; never written back.
  std::string headerText;
  KeyMap keyMap;
};

struct RuleLists {
  std::vector<RuleSection> otherRules;    // sections that are not sign-off rules, in file order
  std::vector<RuleSection> signOffRules;  // sections whose RuleName begins with "Sign_"
};

}  // namespace vetrule
