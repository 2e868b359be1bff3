#pragma once

#include <QObject>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "login/login.h"
#include "store/signer_account.h"

// Shows the login dialog on the GUI thread for worker threads, which wait for its answer while
// every window stays usable. Create it on the GUI thread.
class CLoginPrompt : public QObject {
  Q_OBJECT
 public:
  CLoginPrompt();
  ~CLoginPrompt() override;

  // From a thread other than the GUI thread: shows the login dialog and waits until it is closed.
  // Returns QDialog::Accepted with the entered values in `entry`, or QDialog::Rejected when it was
  // cancelled or the prompt closed. Requests made while the dialog is open get its answer too.
  int DoModal(tagLoginEntry& entry);

  // GUI thread: answers every waiting and later request with Rejected and closes the dialog. Call
  // it before waiting for a thread that may be asking.
  void Close();

  CLogin& Dialog() { return m_login; }

 private:
  struct Request {
    std::promise<void> answered;
    int result = 0;
    tagLoginEntry entry;
  };

  void ShowForWaiting();
  void AnswerAll(int result);

  CLogin m_login;
  std::mutex m_lock;
  bool m_bClosed = false;
  std::vector<std::shared_ptr<Request>> m_waiting;
};
