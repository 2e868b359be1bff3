#pragma once
// How the mail queue picks a mission's server project. The queue only needs the project's name;
// the resolver behind this seam may be replaced by a fuller one without touching the queue.

#include <memory>
#include <string>

#include "postwell/device_exception.h"

class IQueueRoute {
 public:
  virtual ~IQueueRoute() = default;
  virtual void Initialize(IDeviceException* sink, const char* settingFile) = 0;
  // The name of the server project for the pair.
  virtual std::string GetSMTPServerProject(const char* sender, const char* recipient) = 0;
};

// Looks the recipient's domain, then the sender's whole address, up in section "SPECIAL DOMAIN" of
// the setting file; "Default Server" when neither is listed.
std::unique_ptr<IQueueRoute> CreateDomainTableRoute();
