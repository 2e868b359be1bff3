#include "postwell/smtp_message.h"

CSMTPMessage::CSMTPMessage() : m_pProgress(nullptr) {}
CSMTPMessage::~CSMTPMessage() = default;

void CSMTPMessage::AddBody(const std::string& body) {
  m_sBody = body;
  FixSingleDot(m_sBody);
}

void CSMTPMessage::FixSingleDot(std::string& text) {
  for (std::size_t at = text.find("\n."); at != std::string::npos; at = text.find("\n.", at + 3))
    text.insert(at + 1, 1, '.');
}
