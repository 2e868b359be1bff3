#pragma once

#include <memory>
#include <string>

#include <QListWidgetItem>

#include "core/sign_off_rule.h"
#include "dialogs/address_text.h"

namespace vetrule {

// An entry of the supervisor list. It owns the supervisor's record once the supervisor has one
// (loaded from a sign-off rule, or made by the first add user); the record goes with the entry.
class SupervisorItem : public QListWidgetItem {
 public:
  explicit SupervisorItem(const std::string& address) { setAddress(this, address); }

  std::string address() const { return addressOf(this); }

  std::unique_ptr<SupervisorRecord> record;
};

}  // namespace vetrule
