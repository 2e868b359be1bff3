#pragma once

#include <string>
#include <vector>

#include "postwell/export.h"
#include "postwell/mail_device_send_mail_info.h"
#include "postwell/smtp_address.h"

// One message for the SMTP session: the envelope sender, up to three single recipients plus a list
// of further addresses, and the file whose bytes are sent after DATA. A single recipient takes part
// only when its address is not empty; every entry of the list takes part.
class POSTWELL_API CSMTPMessage {
 public:
  CSMTPMessage();
  ~CSMTPMessage();

  // Stores the body dot-stuffed. The send operations never read it; they send m_sContentFile.
  void AddBody(const std::string& body);

  CSMTPAddress m_From;
  // Headers and body exactly as they go out (already in transfer form: lines starting with a dot
  // are doubled).
  std::string m_sContentFile;
  CSMTPAddress m_Recipient1;
  CSMTPAddress m_Recipient2;
  CSMTPAddress m_Recipient3;
  std::vector<std::string> m_arrRecipient;
  // Updated while the content is sent; null when nobody follows the progress. Not owned.
  CMailDevice_SendMailInfo* m_pProgress;
  std::string m_sBody;

 protected:
  // Doubles the dot of every line that begins with one, except on the first line.
  void FixSingleDot(std::string& text);
};
