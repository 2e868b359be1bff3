#include "rule_source.h"

#include "platform/last_error.h"
#include "platform/whole_file.h"

namespace signgate {

std::shared_ptr<const GateRules> RuleSource::current(std::string& error) {
  std::string text;
  if (!platform::readWholeFile(path_, text)) {
    error = "cannot read " + path_ + " (error " + std::to_string(platform::lastError()) + ")";
    return nullptr;
  }
  const std::lock_guard guard(lock_);
  if (rules_ && text == text_) return rules_;
  auto rules = std::make_shared<GateRules>();
  if (!rules->parse(text, error)) {
    error = path_ + ": " + error;
    return nullptr;
  }
  text_ = std::move(text);
  rules_ = std::move(rules);
  return rules_;
}

}  // namespace signgate
