#include "engine/queue_route.h"

#include <string>

#include "groundkit/groundkit.h"
#include "platform/profile.h"

namespace {

constexpr unsigned long kValueBuffer = 255;
// BSCFEM_SplitEmailAddress keeps at most 1,023 characters of each part.
constexpr std::size_t kPartBuffer = 1024;

class DomainTableRoute : public IQueueRoute {
 public:
  void Initialize(IDeviceException* sink, const char* settingFile) override {
    sink_ = sink;
    settingFile_ = settingFile ? settingFile : "";
  }

  std::string GetSMTPServerProject(const char* sender, const char* recipient) override {
    Parts to = split(recipient);
    std::string project = lookUp(to.domain);
    if (!project.empty()) return project;
    Parts from = split(sender);
    if (!from.user.empty() || !from.domain.empty()) project = lookUp(from.user + "@" + from.domain);
    return project.empty() ? "Default Server" : project;
  }

 private:
  struct Parts {
    std::string user;
    std::string domain;
  };

  static Parts split(const char* address) {
    char name[kPartBuffer] = "";
    char user[kPartBuffer] = "";
    char domain[kPartBuffer] = "";
    BSCFEM_SplitEmailAddress(address ? address : "", name, user, domain);
    return {user, domain};
  }

  std::string lookUp(const std::string& key) const {
    if (key.empty() || settingFile_.empty()) return "";
    char value[kValueBuffer] = "";
    platform::getPrivateProfileString("SPECIAL DOMAIN", key.c_str(), "", value, sizeof value,
                                      settingFile_.c_str());
    return value;
  }

  [[maybe_unused]] IDeviceException* sink_ = nullptr;
  std::string settingFile_;
};

}  // namespace

std::unique_ptr<IQueueRoute> CreateDomainTableRoute() {
  return std::make_unique<DomainTableRoute>();
}
