#pragma once
// The rows the client lists: the tasks waiting for a decision and the queue of decided tasks waiting
// to be sent, each row known by its task id, and whose store they show. The rows change on the GUI
// thread only; the periodic driver reads what waits to be sent from its own thread.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "store/decision_journal.h"
#include "store/row_list.h"

// A task as the task list shows it, its values decoded for the screen; arrived is the time the task
// was stored, as the list shows it.
struct tagTaskRow {
  std::string From;
  std::string To;
  std::string Subject;
  std::string TaskId;
  std::string Arrived;
  // The same time in seconds since the epoch: how long the task has waited.
  std::int64_t ArrivedAt = 0;
};

struct tagTaskHead;
// A header value of a task as the lists show it: every encoded word decoded, on one line.
std::string ListText(std::string_view headerValue);
// The row of a stored task, arrived at that time.
tagTaskRow TaskRowOf(const tagTaskHead& head, const std::string& taskId, std::int64_t arrivedAt);

// Where a queued task is in its sending.
enum class SendStatus { kWaiting, kRetry, kSent };
// The status as the queue list shows it: a source text, shown through Tr.
const char* SendStatusText(SendStatus status);

// A queued task as the queue list shows it; queued is the time it was queued, as the list shows it.
struct tagQueueRow {
  std::string From;
  std::string Subject;
  std::string To;
  std::string TaskId;
  std::string Queued;
  // kDecisionApprove or kDecisionReturn; empty when the queued task does not say.
  std::string Decision{};
  SendStatus Status = SendStatus::kWaiting;
  // The server's last reply to the task; empty when it took the task or was not asked yet.
  std::string Reply{};
};

// What one run of the sending sends: the user's queued tasks not sent yet, in the order they were
// queued, as the lists showed them in that generation.
struct tagPendingSends {
  std::string User;
  std::uint64_t Generation = 0;
  std::vector<std::string> TaskIds;
};

class CTaskLists {
 public:
  // The task rows, newest first, and the queue rows, in the order they were queued.
  CRowList<tagTaskRow>& Tasks() { return m_tasks; }
  const CRowList<tagTaskRow>& Tasks() const { return m_tasks; }
  CRowList<tagQueueRow>& Queue() { return m_queue; }
  const CRowList<tagQueueRow>& Queue() const { return m_queue; }
  // The decisions of the journal, newest first, their header values decoded.
  CRowList<tagDecision>& Journal() { return m_journal; }

  // Reads the journal of the home folder again; an empty home (nobody logged in) lists nothing.
  void ReloadJournal(const std::string& home);

  // The lists show the store of the user from here on; with clear, they are emptied first and the
  // generation increases.
  void Reset(const std::string& user, bool clear);
  // The user whose store the lists show; empty before one is listed. Any thread.
  std::string User() const;
  // Increases whenever the lists are emptied for another store. Any thread.
  std::uint64_t Generation() const { return m_nGeneration; }

  // Adds the tasks, given in the order they arrived, so that the last is on top.
  void AddTasks(std::vector<tagTaskRow> rows);
  // Removes the task's row; false when it has none.
  bool RemoveTask(const std::string& taskId);
  void AddQueued(std::vector<tagQueueRow> rows);
  // The queued task, listed in that generation, has the status and the server's reply. A report of
  // an earlier generation is dropped: the lists show another store now.
  void SetSendStatus(std::uint64_t generation, const std::string& taskId, SendStatus status,
                     const std::string& reply);
  // Any thread.
  tagPendingSends PendingSends() const;

 private:
  CRowList<tagTaskRow> m_tasks;
  CRowList<tagQueueRow> m_queue;
  CRowList<tagDecision> m_journal;
  // Held while the user, the generation or the queue changes, and while they are read together.
  mutable std::mutex m_lock;
  std::string m_strUser;
  std::atomic<std::uint64_t> m_nGeneration{0};
};
