// The application's operations on tasks: listing downloaded tasks, listing queued ones, and
// approving and returning tasks.
#include <algorithm>
#include <utility>

#include "app/signer_app.h"
#include "platform/files.h"
#include "queue/queue_task.h"
#include "store/task_store.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace {

// How much of each value the lists show.
constexpr std::size_t kTaskValueLength = 127;

}  // namespace

void CSignerApp::ListTask(const std::string& headPath) { ListTasks({headPath}); }

void CSignerApp::ListTasks(const std::vector<std::string>& headPaths) {
  std::vector<tagTaskRow> rows;
  for (const std::string& headPath : headPaths) {
    // The task is known by the name of its file; the MsgId written inside it is never trusted.
    const std::string taskId = TaskIdOfHeadPath(headPath);
    if (taskId.empty()) continue;
    const tagTaskHead head = ReadTaskHead(headPath, kTaskValueLength);
    // A task without a WaterId carries no name of the mail server's and is never taken for a copy.
    if (!head.WaterId.empty() && !m_lstWaterId.insert(head.WaterId).second) {
      const std::string base = headPath.substr(0, headPath.size() - 4);  // without ".inf"
      platform::deleteFile(base + ".inf");
      platform::deleteFile(base + ".eml");
      continue;
    }
    // The ".inf" is written last when a task is stored: its time is when the task arrived, in
    // this run or an earlier one.
    std::string arrived = ListTimeOfFile(headPath);
    if (arrived.empty()) arrived = ListTimeNow();
    rows.push_back({head.From, head.To, head.Subject, taskId, std::move(arrived)});
  }
  if (!m_pTaskView || rows.empty()) return;
  QMetaObject::invokeMethod(
      m_pTaskView, [view = m_pTaskView, rows = std::move(rows)] { view->AddTaskRows(rows); },
      Qt::AutoConnection);
}

void CSignerApp::AddQueueRow(const std::string& taskId) { AddQueueRow(taskId, UserName()); }

void CSignerApp::AddQueueRow(const std::string& taskId, const std::string& user) {
  AddQueueRows({taskId}, user);
}

void CSignerApp::AddQueueRows(const std::vector<std::string>& taskIds, const std::string& user) {
  if (!m_pQueueView) return;
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
  if (rows.empty()) return;
  QMetaObject::invokeMethod(
      m_pQueueView, [view = m_pQueueView, rows = std::move(rows)] { view->AddRows(rows); },
      Qt::AutoConnection);
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
      SetStatus(TitleSource::kCommand, "保存签审后的任务到发送队列时出错");
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
