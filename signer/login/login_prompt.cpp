#include "login/login_prompt.h"

#include <QThread>

CLoginPrompt::CLoginPrompt() {
  connect(&m_login, &QDialog::finished, this, &CLoginPrompt::AnswerAll);
}

CLoginPrompt::~CLoginPrompt() { Close(); }

int CLoginPrompt::DoModal(tagLoginEntry& entry) {
  if (QThread::currentThread() == thread()) {
    qWarning("CLoginPrompt::DoModal called on the GUI thread, which would wait for itself");
    return QDialog::Rejected;
  }
  auto request = std::make_shared<Request>();
  std::future<void> answered = request->answered.get_future();
  {
    const std::lock_guard lock(m_lock);
    if (m_bClosed) return QDialog::Rejected;
    m_waiting.push_back(request);
  }
  QMetaObject::invokeMethod(this, &CLoginPrompt::ShowForWaiting, Qt::QueuedConnection);
  answered.wait();
  if (request->result == QDialog::Accepted) entry = request->entry;
  return request->result;
}

void CLoginPrompt::Close() {
  {
    const std::lock_guard lock(m_lock);
    m_bClosed = true;
  }
  if (m_login.isVisible()) m_login.reject();
  AnswerAll(QDialog::Rejected);
}

void CLoginPrompt::ShowForWaiting() {
  if (m_login.isVisible()) return;  // its answer goes to this request too
  {
    const std::lock_guard lock(m_lock);
    if (m_waiting.empty()) return;  // answered when the prompt closed
  }
  m_login.OnInitDialog();
  m_login.show();
  m_login.raise();
  m_login.activateWindow();
}

void CLoginPrompt::AnswerAll(int result) {
  const tagLoginEntry entry{m_login.m_strUser, m_login.m_strPass, m_login.m_strHost,
                            m_login.m_nPop3Port, m_login.m_nSmtpPort};
  const std::lock_guard lock(m_lock);
  for (const std::shared_ptr<Request>& request : m_waiting) {
    request->result = result;
    request->entry = entry;
    request->answered.set_value();
  }
  m_waiting.clear();
}
