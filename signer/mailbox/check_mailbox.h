#pragma once

#include <QObject>
#include <atomic>
#include <mutex>
#include <set>
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
  // Shows the login dialog whether logged in or not; what is entered replaces the login (a user of
  // another store lists that store instead) and a check follows. Cancel changes nothing.
  void OnChangeLogin();
  // Lists the store of the login's user, as ShowStore does.
  void OnLoadTaskStore();

 public:
  // Lists the tasks and the queue of the user's store unless the lists show that store already;
  // the lists of another store are emptied first. The first time a store is listed in this run,
  // what an interrupted step left there is settled and files that form no complete task are set
  // aside.
  void ShowStore(const std::string& user);

 private:
  void Check();
  void ShowStoreLocked(const std::string& user);
  // Downloads message number i into a new task, lists it and deletes it from the server. A failure
  // goes to the title and sets failed; false when the check must stop.
  bool DownloadMessage(CMailBoxDevice& mailbox, int i, const std::string& home, bool& failed);

  CSignerApp& m_app;
  tagLoginEntry m_login;
  bool m_bLoggedIn = false;
  // The user whose store the lists show, and whether one is shown.
  std::string m_strListedUser;
  bool m_bListed = false;
  // Home directories whose leftovers were settled in this run.
  std::set<std::string> m_settledStores;
  std::mutex m_checkLock;
  std::atomic<bool> m_bStopping{false};
};
