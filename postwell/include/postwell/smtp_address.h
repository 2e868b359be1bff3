#pragma once

#include <string>

#include "postwell/export.h"

// One mail address with an optional display name.
class POSTWELL_API CSMTPAddress {
 public:
  CSMTPAddress();
  explicit CSMTPAddress(const std::string& address);
  CSMTPAddress(const std::string& name, const std::string& address);
  CSMTPAddress(const CSMTPAddress& other);
  CSMTPAddress& operator=(const CSMTPAddress& other);
  ~CSMTPAddress();

  // The address alone when there is no name, else "name <address>".
  std::string GetRegularFormat() const;

  std::string m_sName;
  // Without angle brackets.
  std::string m_sAddress;
};
