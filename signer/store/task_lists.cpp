#include "store/task_lists.h"

#include <QtGlobal>
#include <algorithm>
#include <utility>

#include "store/header_text.h"
#include "store/list_time.h"
#include "store/task_store.h"

const char* SendStatusText(SendStatus status) {
  switch (status) {
    case SendStatus::kWaiting:
      return QT_TRANSLATE_NOOP("Signer", "待发");
    case SendStatus::kRetry:
      return QT_TRANSLATE_NOOP("Signer", "重发");
    case SendStatus::kSent:
      return QT_TRANSLATE_NOOP("Signer", "完成");
  }
  return "";
}

std::string ListText(std::string_view headerValue) { return DecodeHeaderText(headerValue); }

tagTaskRow TaskRowOf(const tagTaskHead& head, const std::string& taskId, std::int64_t arrivedAt) {
  return {ListText(head.From), ListText(head.To), ListText(head.Subject), taskId,
          ListTime(arrivedAt), arrivedAt};
}

void CTaskLists::Reset(const std::string& user, bool clear) {
  const std::lock_guard lock(m_lock);
  if (clear) {
    ++m_nGeneration;
    m_tasks.Clear();
    m_queue.Clear();
    m_journal.Clear();
  }
  m_strUser = user;
}

void CTaskLists::ReloadJournal(const std::string& home) {
  std::vector<tagDecision> decisions;
  if (!home.empty()) decisions = ReadDecisions(home);
  std::reverse(decisions.begin(), decisions.end());
  for (tagDecision& decision : decisions)
    for (std::string* value : {&decision.Sender, &decision.Recipients, &decision.Subject})
      *value = ListText(*value);
  m_journal.Assign(std::move(decisions));
}

std::string CTaskLists::User() const {
  const std::lock_guard lock(m_lock);
  return m_strUser;
}

void CTaskLists::AddTasks(std::vector<tagTaskRow> rows) {
  std::reverse(rows.begin(), rows.end());
  m_tasks.Insert(0, std::move(rows));
}

bool CTaskLists::RemoveTask(const std::string& taskId) {
  const int row = m_tasks.Find(taskId);
  m_tasks.Remove(row);
  return row >= 0;
}

void CTaskLists::AddQueued(std::vector<tagQueueRow> rows) {
  const std::lock_guard lock(m_lock);
  m_queue.Append(std::move(rows));
}

void CTaskLists::SetSendStatus(std::uint64_t generation, const std::string& taskId,
                               SendStatus status, const std::string& reply) {
  const std::lock_guard lock(m_lock);
  if (generation != m_nGeneration) return;
  m_queue.Update(m_queue.Find(taskId), [&](tagQueueRow& row) {
    row.Status = status;
    row.Reply = reply;
  });
}

tagPendingSends CTaskLists::PendingSends() const {
  const std::lock_guard lock(m_lock);
  tagPendingSends pending{m_strUser, m_nGeneration, {}};
  for (const tagQueueRow& row : m_queue.Copy())
    if (row.Status != SendStatus::kSent) pending.TaskIds.push_back(row.TaskId);
  return pending;
}
