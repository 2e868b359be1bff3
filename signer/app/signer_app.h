#pragma once

#include <QObject>
#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>

class CMainFrame;
class CSignerView;
class CQueueView;
class CLoginPrompt;

// The account entered at login, used for the mailbox and for sending alike.
struct tagSignerAccount {
  std::string m_strServer;
  int m_nSMTPPort = 25;
  bool m_bAuth = false;
  std::string m_strUserName;
  std::string m_strPassword;  // in memory only
};

// The application: the main window with its two lists, the account, and the login prompt that the
// mailbox check worker uses. Create it after the QApplication, on the GUI thread.
class CSignerApp : public QObject {
  Q_OBJECT
 public:
  CSignerApp();
  ~CSignerApp() override;

  // Creates, places and shows the main window with the task list active and the queue list hidden.
  bool InitInstance();
  // Releases whoever waits for a login answer; workers are stopped after this.
  int ExitInstance();

  // Titles the main window "主管签审", followed by " - " and the text when there is one.
  // Any thread; the title changes on the GUI thread.
  void SetMainTitle(const std::string& text);

  // Any thread.
  tagSignerAccount Account() const;
  void SetAccount(const tagSignerAccount& account);

  void OnAppAbout();
  // Hides the active list and shows the other one.
  void OnViewSwitch();

  CMainFrame* MainFrame() const { return m_pMainWnd.get(); }
  CLoginPrompt* LoginPrompt() const { return m_pLoginPrompt.get(); }

  CSignerView* m_pTaskView = nullptr;
  CQueueView* m_pQueueView = nullptr;
  // Set by the mailbox check after a successful login, cleared after a failed one.
  std::atomic<bool> m_bOnline{false};
  // WaterId of every task listed in this run; used by the mailbox check worker's thread only.
  std::list<std::string> m_lstWaterId;

 private:
  std::unique_ptr<CMainFrame> m_pMainWnd;
  std::unique_ptr<CLoginPrompt> m_pLoginPrompt;
  mutable std::mutex m_accountLock;
  tagSignerAccount m_account;
};
