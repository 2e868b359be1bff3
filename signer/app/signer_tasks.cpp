// The application's operations on tasks: listing downloaded tasks, listing queued ones, and
// approving and returning tasks.
#include <QThread>
#include <algorithm>
#include <utility>

#include "app/signer_app.h"
#include "app/ui_text.h"
#include "mailbox/check_mailbox.h"
#include "queue/queue_task.h"
#include "store/task_store.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

void CSignerApp::ListTask(const std::string& headPath) {
  CCheckMailBox* worker = m_pCheckMailBox.get();
  if (worker == nullptr || worker->thread() == QThread::currentThread()) return;
  QMetaObject::invokeMethod(
      worker, [worker, headPath] { worker->ListTasks({headPath}); }, Qt::BlockingQueuedConnection);
}

void CSignerApp::AddQueueRow(const std::string& taskId) { AddQueueRow(taskId, UserName()); }

void CSignerApp::AddQueueRow(const std::string& taskId, const std::string& user) {
  if (m_pQueueView) m_pQueueView->AddRows(QueuedRows({taskId}, user));
}

std::vector<tagQueueRow> QueuedRows(const std::vector<std::string>& taskIds,
                                    const std::string& user) {
  std::vector<tagQueueRow> rows;
  for (const std::string& taskId : taskIds) {
    if (!IsTaskId(taskId)) continue;
    const std::string headPath = TaskHeadPath(QueueDirectory(user), taskId);
    const tagTaskHead head = ReadTaskHead(headPath, kQueuedHeadValueMax);
    // The queued ".inf" is written once, when the task is queued.
    std::string queued = ListTimeOfFile(headPath);
    if (queued.empty()) queued = ListTimeNow();
    rows.push_back({head.From, head.Subject, head.To, taskId, std::move(queued)});
  }
  return rows;
}

bool CSignerApp::ApproveTask(const std::string& taskId) {
  return DecideTask(taskId, kTaskApprove, "");
}

bool CSignerApp::ReturnTask(const std::string& taskId, const std::string& reason) {
  return DecideTask(taskId, kTaskReturn, reason);
}

bool CSignerApp::DecideTask(const std::string& taskId, int action, const std::string& reason) {
  // The tasks listed belong to the login's store, and the login was not refused.
  if (!CanDecide()) return false;
  const std::string user = UserName();
  switch (MoveDecidedTask(user, taskId, static_cast<TaskAction>(action), reason)) {
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
  const int row = m_pTaskView->FindRow(taskId);
  if (row >= 0) {
    m_pTaskView->EndReader();
    m_pTaskView->DeleteRow(row);
  }
  AddQueueRow(taskId);
  return true;
}
