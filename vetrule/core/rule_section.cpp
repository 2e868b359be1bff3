#include "core/rule_section.h"

namespace vetrule {

void KeyMap::set(std::string key, std::string value) {
  for (Entry& e : entries_) {
    if (e.first == key) {
      e.second = std::move(value);
      return;
    }
  }
  entries_.emplace_back(std::move(key), std::move(value));
}

const std::string* KeyMap::find(const std::string& key) const {
  for (const Entry& e : entries_)
    if (e.first == key) return &e.second;
  return nullptr;
}

std::string KeyMap::valueOf(const std::string& key) const {
  const std::string* v = find(key);
  return v ? *v : std::string();
}

}  // namespace vetrule
