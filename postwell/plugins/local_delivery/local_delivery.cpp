// A local delivery plug-in for the mail queue: a recipient is local when its domain is one of those
// listed under key "LocalDomains" of section "Plug-in" in the queue's setting file, separated by
// commas, semicolons or blanks and compared without regard to case.
//
//   [Plug-in]
//   LocalDelivery=LocalDelivery
//   LocalDomains=example.test, office.example.test

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "postwell/mail_queue.h"

namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The domain of an address such as "user@domain" or "Name <user@domain>"; empty without "@".
std::string domainOf(const char* address) {
  std::string text = address ? address : "";
  std::size_t at = text.rfind('@');
  if (at == std::string::npos) return "";
  std::string domain = text.substr(at + 1);
  while (!domain.empty() && (domain.back() == '>' || domain.back() == ' ' || domain.back() == '\t'))
    domain.pop_back();
  return lowered(domain);
}

class DomainListDelivery : public ILocalDelivery {
 public:
  explicit DomainListDelivery(const char* settingFile) {
    const std::string list = platform::getPrivateProfileString("Plug-in", "LocalDomains", "",
                                                               settingFile ? settingFile : "");
    std::string current;
    for (char c : list + ",") {
      if (c == ',' || c == ';' || c == ' ' || c == '\t') {
        if (!current.empty()) domains_.push_back(lowered(current));
        current.clear();
      } else {
        current += c;
      }
    }
  }

  unsigned GetMissionType(const char* sender, const char* recipient) override {
    const std::string domain = domainOf(recipient);
    if (domain.empty()) return 0;
    return std::find(domains_.begin(), domains_.end(), domain) != domains_.end() ? 1 : 0;
  }

 private:
  std::vector<std::string> domains_;
};

}  // namespace

#ifdef _WIN32
#define LOCAL_DELIVERY_EXPORT __declspec(dllexport)
#else
#define LOCAL_DELIVERY_EXPORT __attribute__((visibility("default")))
#endif

extern "C" LOCAL_DELIVERY_EXPORT ILocalDelivery* GetLocalDelivery(
    const char* reserved, const char* settingFile) {
  try {
    return new DomainListDelivery(settingFile);
  } catch (...) {
    return nullptr;
  }
}
