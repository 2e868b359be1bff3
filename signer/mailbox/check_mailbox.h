#pragma once

#include <QObject>
#include <atomic>
#include <mutex>
#include <string>

#include "login/login_prompt.h"

class CSignerApp;
class CMailBoxDevice;

// The mailbox check worker. On request it logs in to the supervisor's mailbox by POP3 (asking for
// the login first while logged out), turns every message into a task in the task store, lists it
// and deletes it from the server. It lives in a thread of its own; a request is a queued call of
// one of its slots, and requests are handled one at a time.
class CCheckMailBox : public QObject {
  Q_OBJECT
 public:
  explicit CCheckMailBox(CSignerApp& app);

  // Any thread: a check under way stops after the message it is downloading.
  void RequestStop() { m_bStopping = true; }
  // Checks the mailbox with the account given instead of asking for the login, on the calling
  // thread (a check without a window).
  void CheckAs(const tagLoginEntry& login);

 public slots:
  void OnCheckMailBox();
  // Sets aside the files of the home directory and of its queue that form no complete task, then
  // lists the tasks of both.
  void OnLoadTaskStore();

 private:
  void Check();
  // Downloads message number i into a new task, lists it and deletes it from the server. False,
  // with the failure in the title, when the check must stop.
  bool DownloadMessage(CMailBoxDevice& mailbox, int i, const std::string& home);

  CSignerApp& m_app;
  tagLoginEntry m_login;
  bool m_bLoggedIn = false;
  bool m_bFirstLoad = true;
  std::mutex m_checkLock;
  std::atomic<bool> m_bStopping{false};
};
