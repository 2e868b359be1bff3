#pragma once
// The rule file as the gate sees it at the moment a message is decided. vetrule replaces the file
// by rename, so every read finds either the old or the new file whole; the file is read for each
// message and parsed again only when its text changed, so a new rule applies to the next message
// and there is never a moment without rules.

#include <memory>
#include <mutex>
#include <string>

#include "gate_rules.h"

namespace signgate {

class RuleSource {
 public:
  explicit RuleSource(std::string path) : path_(std::move(path)) {}

  // The rules now in the file; null, with the reason in error, when the file cannot be read or a
  // sign-off rule in it is not whole. A later call reads the file again.
  std::shared_ptr<const GateRules> current(std::string& error);

  const std::string& path() const { return path_; }

 private:
  const std::string path_;
  std::mutex lock_;
  std::string text_;  // the text the rules were parsed from
  std::shared_ptr<const GateRules> rules_;
};

}  // namespace signgate
