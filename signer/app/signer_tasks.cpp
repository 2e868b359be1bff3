// The application's operations on tasks: listing downloaded tasks, listing queued ones, and
// approving and returning tasks.
#include <QThread>
#include <algorithm>
#include <utility>

#include "app/signer_app.h"
#include "mailbox/check_mailbox.h"
#include "queue/queue_rows.h"
#include "queue/queue_task.h"
#include "store/task_store.h"
#include "store/ui_text.h"
#include "views/signer_view.h"

void CSignerApp::ListTask(const std::string& headPath) {
  CCheckMailBox* worker = m_pCheckMailBox.get();
  if (worker == nullptr || worker->thread() == QThread::currentThread()) return;
  QMetaObject::invokeMethod(
      worker, [worker, headPath] { worker->ListTasks({headPath}); }, Qt::BlockingQueuedConnection);
}

void CSignerApp::AddQueueRow(const std::string& taskId) { AddQueueRow(taskId, UserName()); }

void CSignerApp::AddQueueRow(const std::string& taskId, const std::string& user) {
  m_lists.AddQueued(QueuedRows({taskId}, user));
}

bool CSignerApp::ApproveTask(const std::string& taskId) {
  return DecideTask(taskId, kTaskApprove, "");
}

bool CSignerApp::ReturnTask(const std::string& taskId, const std::string& reason) {
  return DecideTask(taskId, kTaskReturn, reason);
}

void CSignerApp::ApproveTasks(const std::vector<std::string>& taskIds) {
  for (const std::string& taskId : taskIds) ApproveTask(taskId);
}

void CSignerApp::ReturnTasks(const std::vector<std::string>& taskIds, const std::string& reason) {
  for (const std::string& taskId : taskIds) ReturnTask(taskId, reason);
}

bool CSignerApp::DecideTask(const std::string& taskId, TaskAction action,
                            const std::string& reason) {
  // The tasks listed belong to the login's store, and the login was not refused.
  if (!CanDecide()) return false;
  const std::string user = UserName();
  switch (MoveDecidedTask(user, taskId, action, reason)) {
    case QueueOutcome::kQueued:
      SetStatus(TitleSource::kCommand, "");
      break;
    case QueueOutcome::kNotWritten:
      SetStatus(TitleSource::kCommand,
                TrBytes(QT_TRANSLATE_NOOP("Signer", "保存签审后的任务到发送队列时出错")));
      return false;
    case QueueOutcome::kNotQueued:
      return false;
  }
  if (m_lists.Tasks().Find(taskId) >= 0) {
    m_pTaskView->EndReader();
    m_lists.RemoveTask(taskId);
  }
  AddQueueRow(taskId);
  return true;
}
