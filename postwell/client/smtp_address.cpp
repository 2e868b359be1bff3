#include "postwell/smtp_address.h"

CSMTPAddress::CSMTPAddress() = default;
CSMTPAddress::CSMTPAddress(const std::string& address) : m_sAddress(address) {}
CSMTPAddress::CSMTPAddress(const std::string& name, const std::string& address)
    : m_sName(name), m_sAddress(address) {}
CSMTPAddress::CSMTPAddress(const CSMTPAddress& other) = default;
CSMTPAddress& CSMTPAddress::operator=(const CSMTPAddress& other) = default;
CSMTPAddress::~CSMTPAddress() = default;

std::string CSMTPAddress::GetRegularFormat() const {
  if (m_sName.empty()) return m_sAddress;
  return m_sName + " <" + m_sAddress + ">";
}
