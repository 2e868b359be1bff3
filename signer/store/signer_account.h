#pragma once

#include <string>

// What was entered in the login dialog.
struct tagLoginEntry {
  std::string m_strUser;
  std::string m_strPass;
  std::string m_strHost;
  int m_nPop3Port = 0;
  int m_nSmtpPort = 0;
};

// The account entered at login, used for the mailbox and for sending alike.
struct tagSignerAccount {
  std::string m_strServer;
  int m_nSMTPPort = 25;
  bool m_bAuth = false;
  std::string m_strUserName;
  std::string m_strPassword;  // in memory only
};
