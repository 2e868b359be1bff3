#include "queue/queue_task.h"

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/whole_file.h"

namespace {

// The queue's copy of the task's header summary; for a return its envelope names the sender as
// the only recipient and the supervisor at the sender's domain as the sender.
bool QueuedHead(const std::string& homeHead, TaskAction action, const std::string& user,
                std::string& queued) {
  if (!platform::readWholeFile(homeHead, queued)) return false;
  if (action != kTaskReturn) return true;
  tagTaskHead head = ReadTaskHead(homeHead, kQueuedHeadValueMax);
  if (head.From.empty()) return true;
  TurnBackToSender(head, user);
  platform::ProfileFile file;
  file.parse(queued);
  file.setValue("Head", "From", head.From);
  file.setValue("Head", "To", head.To);
  file.setValue("Head", "Cc", head.Cc);
  file.setValue("Head", "Bcc", head.Bcc);
  queued = file.serialize();
  return true;
}

}  // namespace

QueueOutcome QueueTaskMessage(const std::string& user, const std::string& taskId, TaskAction action,
                              const std::string& reason) {
  const std::string home = HomeDirectory(user);
  std::string text;
  if (!platform::readWholeFile(TaskMessagePath(home, taskId), text))
    return QueueOutcome::kNotQueued;
  if (!RewriteTaskMessage(text, action, user, reason)) return QueueOutcome::kNotQueued;
  std::string head;
  // Without its header summary a queued task would have no envelope to be sent with.
  if (!QueuedHead(TaskHeadPath(home, taskId), action, user, head)) return QueueOutcome::kNotQueued;

  const std::string queue = QueueDirectory(user);
  const std::string queuedHead = TaskHeadPath(queue, taskId);
  if (!platform::replaceWholeFile(queuedHead, head)) return QueueOutcome::kNotWritten;
  if (!platform::replaceWholeFile(TaskMessagePath(queue, taskId), text)) {
    platform::deleteFile(queuedHead);
    return QueueOutcome::kNotWritten;
  }
  return QueueOutcome::kQueued;
}
