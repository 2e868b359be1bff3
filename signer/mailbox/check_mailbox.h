#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "store/signer_account.h"
#include "store/task_lists.h"

class CMailBoxDevice;

// The mailbox check worker. On request it logs in to the supervisor's mailbox by POP3 (asking for
// the login first while logged out), turns every message into a task in the task store, lists it
// and deletes it from the server. It lives in a thread of its own; a request is a queued call of
// one of its slots, and requests are handled one at a time. It changes no window: what it finds it
// reports through its signals, and the login it asks for through askLogin.
class CCheckMailBox : public QObject {
  Q_OBJECT
 public:
  // Asks for the login on the worker's thread: true with what was entered, false when it was
  // cancelled.
  using LoginAsker = std::function<bool(tagLoginEntry& entry)>;
  // Without an asker, a check that needs the login does nothing.
  explicit CCheckMailBox(LoginAsker askLogin = {});

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
  // Lists the tasks of the ".inf" files, given in the order they arrived, under the ids their file
  // names give, unless a task with the same WaterId was listed or decided: that copy's files are
  // deleted. A file whose name is no task id is left alone.
  // Returns how many were listed.
  int ListTasks(const std::vector<std::string>& headPaths);

 signals:
  // What the check shows in the title: the user name, or its last failure.
  void CheckReported(const std::string& text);
  // A login was entered and not refused (true), or the server refused it (false).
  void OnlineChanged(bool online);
  // Message number about to be fetched (0 before the first) and message count of a check.
  void DownloadProgress(int current, int count);
  // The lists show the store of the user from here on; with clear, they are emptied first.
  void ListsReset(const std::string& user, bool clear);
  void TasksListed(const std::vector<tagTaskRow>& rows);
  // A check downloaded count new tasks and listed them.
  void TasksArrived(int count);
  void QueuedListed(const std::vector<tagQueueRow>& rows);

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
  bool DownloadMessage(CMailBoxDevice& mailbox, int i, const std::string& home, bool& failed,
                       int& listed);

  LoginAsker m_askLogin;
  tagLoginEntry m_login;
  // WaterId of every task listed since the lists were last emptied, and of the decided ones.
  std::unordered_set<std::string> m_waterIds;
  bool m_bLoggedIn = false;
  // The user whose store the lists show, and whether one is shown.
  std::string m_strListedUser;
  bool m_bListed = false;
  // Home directories whose leftovers were settled in this run.
  std::set<std::string> m_settledStores;
  std::mutex m_checkLock;
  std::atomic<bool> m_bStopping{false};
};
