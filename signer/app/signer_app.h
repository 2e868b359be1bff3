#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>


#include "queue/task_message.h"
#include "store/signer_account.h"
#include "store/task_lists.h"

class CMainFrame;
class CSignerView;
class CQueueView;
class CDecisionView;
class CLoginPrompt;
class CCheckMailBox;
class CSendDriver;
class CHeldMailNotice;
class QThread;

// Who reports in the title. Each keeps its last text until it reports again: the mailbox check its
// user name or its last failure, the sending and the task commands their last failure.
// The count of tasks waiting comes last.
enum class TitleSource { kCheck, kSend, kCommand, kPending };

struct tagSignerOptions {
  // Post the first mailbox check, which asks for the login, at start-up.
  bool m_bCheckAtStart = true;
  // How often the periodic driver checks the mailbox and sends the queue while online.
  std::chrono::milliseconds m_driverPeriod{30000};
};

// The application: the main window with its two lists, the account, the login prompt, the mailbox
// check worker with its thread, and the periodic driver. Create it after the QApplication, on the
// GUI thread.
class CSignerApp : public QObject {
  Q_OBJECT
 public:
  explicit CSignerApp(const tagSignerOptions& options = {});
  // Stops the workers, waiting for them as long as they need.
  ~CSignerApp() override;

  // Creates, places and shows the main window with the task list active and the queue list
  // hidden, starts the mailbox check worker and the periodic driver and asks for the first check.
  bool InitInstance();
  // Releases whoever waits for a login answer and stops the workers, each after the message it is
  // handling. False when they did not stop within a moment (they end with the process).
  bool ExitInstance();

  // Titles the main window "主管签审", followed by " - " and the text when there is one.
  // Any thread; the title changes on the GUI thread.
  void SetMainTitle(const std::string& text);
  // Replaces what the source shows in the title (empty: nothing) and titles the window with the
  // texts of the check, the sending and the commands, in that order. Any thread.
  void SetStatus(TitleSource source, const std::string& text);

  // Any thread.
  tagSignerAccount Account() const;
  void SetAccount(const tagSignerAccount& account);
  // The user whose tasks and queue the lists show; empty before a store is listed. Any thread.
  std::string UserName() const { return m_lists.User(); }
  // The rows of both lists.
  CTaskLists& Lists() { return m_lists; }
  // Sets m_bOnline and enables the decision commands accordingly. Any thread.
  void SetOnline(bool online);
  // True when tasks may be decided: the login was not refused and the lists show its store. Any
  // thread.
  bool CanDecide() const;

  // Any thread: asks the mailbox check worker for a check.
  void PostCheckMailBox();
  // Any thread: asks the mailbox check worker to show the login dialog and take what is entered.
  void PostChangeLogin();
  // Any thread: asks the mailbox check worker to list the store of the user.
  void PostShowStore(const std::string& user);
  // GUI thread: the lists show the store of the user from here on. With clear, both lists are
  // emptied first.
  void ResetLists(const std::string& user, bool clear);

  // Lists the task of the ".inf" at the top of the task list, through the mailbox check worker
  // (which drops a second copy of a held message). Any thread but the worker's; the row shows once
  // the GUI thread has handled the worker's report.
  void ListTask(const std::string& headPath);
  // Appends the queued task to the queue list; an id that is no task id is not listed. GUI thread.
  void AddQueueRow(const std::string& taskId);
  void AddQueueRow(const std::string& taskId, const std::string& user);
  // Queues the task approved, or returned to its sender with the reason, and moves its row from the
  // task list to the queue list. False, with everything left as it was, when it cannot be queued.
  bool ApproveTask(const std::string& taskId);
  bool ReturnTask(const std::string& taskId, const std::string& reason);
  // The same for each task, in order.
  void ApproveTasks(const std::vector<std::string>& taskIds);
  void ReturnTasks(const std::vector<std::string>& taskIds, const std::string& reason);

  void OnAppAbout();
  // Shows the queue list when the task list is shown, else the task list.
  void OnViewSwitch();
  // Shows the decisions journal, read again.
  void OnShowDecisions();
  // Asks for a file and writes the decisions the journal list shows into it as CSV.
  void OnExportDecisions();
  // Writes the decisions the journal list shows, in its order, into the file as CSV; false when it
  // cannot be written.
  bool ExportDecisions(const std::string& path);

  CMainFrame* MainFrame() const { return m_pMainWnd.get(); }
  CLoginPrompt* LoginPrompt() const { return m_pLoginPrompt.get(); }
  CCheckMailBox* CheckMailBox() const { return m_pCheckMailBox.get(); }
  CSendDriver* SendDriver() const { return m_pSendDriver.get(); }

  // Message number about to be fetched (0 before the first) and message count of a check.
  Q_SIGNAL void DownloadProgress(int current, int count);

  CSignerView* m_pTaskView = nullptr;
  CQueueView* m_pQueueView = nullptr;
  CDecisionView* m_pDecisionView = nullptr;
  // Set by the mailbox check once a login was entered and not refused, cleared when the server
  // refuses it: a server that cannot be reached keeps the account and is tried again.
  std::atomic<bool> m_bOnline{false};

 private:
  bool DecideTask(const std::string& taskId, TaskAction action, const std::string& reason);
  void ConnectTaskCommands();
  void ShowView(QWidget* view);
  // Enables the task commands for the list shown and the decisions for the login. GUI thread.
  void UpdateCommands();
  void StartCheckMailBox();
  void StartSendDriver();
  // The title's count of the tasks waiting, kept up to date as the task list changes.
  void ShowPendingCount();
  // A check downloaded new tasks: the desktop hears of it unless Signer.ini says not to.
  void OnTasksArrived(int count);
  // False when a worker is still busy after the wait.
  bool StopWorkers(std::chrono::milliseconds patience);
  bool StopCheckMailBox(std::chrono::milliseconds patience);

  tagSignerOptions m_options;
  // Before the window, whose lists show these rows until it is gone.
  CTaskLists m_lists;
  std::unique_ptr<CMainFrame> m_pMainWnd;
  std::unique_ptr<CLoginPrompt> m_pLoginPrompt;
  std::unique_ptr<QThread> m_checkThread;
  std::unique_ptr<CCheckMailBox> m_pCheckMailBox;
  std::unique_ptr<CSendDriver> m_pSendDriver;
  mutable std::mutex m_accountLock;
  tagSignerAccount m_account;
  std::mutex m_titleLock;
  std::string m_strTitleTexts[4];  // by TitleSource
  std::unique_ptr<CHeldMailNotice> m_pNotice;
};
