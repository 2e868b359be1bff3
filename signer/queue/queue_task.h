#pragma once
// Moving a decided task from the home folder into the send queue, and settling at load what an
// interrupted move or send left behind.
//
// A move writes the queue's "<id>.eml", then its "<id>.inf" (from then on the task is queued),
// appends the decision to the journal, then removes the home "<id>.inf" and the home "<id>.eml".
// A send, once the server has taken the message, renames the queue "<id>.inf" to "<id>.sent"
// (synced: from then on the task is sent and never sent again), then removes the ".eml" and the
// record. Each file is written under a temporary name, flushed and renamed.

#include <string>

#include "queue/task_message.h"
#include "store/decision_journal.h"

enum class QueueOutcome {
  kQueued,
  // The task's message or header summary is missing, or the message has no empty line after its
  // header.
  kNotQueued,
  // The task could not be written into the queue directory or its decision into the journal;
  // nothing of it is left in the queue.
  kNotWritten,
};

// Puts the user's task into the send queue: the message rewritten for the action into the queue
// directory's "<id>.eml", then the header summary into its "<id>.inf" (for a return, turned back to
// the sender) with the decision in a section [Decision]. The task's own files stay where they are.
// The decision written is returned through decided when given.
QueueOutcome QueueTaskMessage(const std::string& user, const std::string& taskId, TaskAction action,
                              const std::string& reason, tagDecision* decided = nullptr);

// Queues the task, journals the decision and removes the task from the home folder. A process that
// dies at any point leaves the task complete in the home folder or in the queue, or in both until
// ResolveInterruptedSteps runs.
QueueOutcome MoveDecidedTask(const std::string& user, const std::string& taskId, TaskAction action,
                             const std::string& reason);

// "<queue>/<id>.sent": a queued task the server has taken.
std::string SentRecordPath(const std::string& queue, const std::string& taskId);

// The decision stored with a queued task; empty fields when it has none.
tagDecision QueuedDecision(const std::string& queue, const std::string& taskId);

// Settles, before the folders are listed, what a process that died in a move or a send left:
//  - a sent record: the task's queue files and the record are removed (it is never sent again);
//  - a task complete in the queue keeps only its queued copy: what is left of it in the home folder
//    is removed, after its decision is journaled if the journal lacks it;
//  - a queue ".eml" without ".inf" beside a complete home task is removed;
//  - a queue ".inf" without ".eml" (no message to send) is removed;
//  - temporary files of the queue and of the journal are removed.
// Ids come only from file names of the form "QV" and nine or more digits.
void ResolveInterruptedSteps(const std::string& user);
