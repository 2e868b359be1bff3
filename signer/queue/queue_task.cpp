#include "queue/queue_task.h"

#include "platform/profile.h"
#include "platform/whole_file.h"

namespace {

constexpr std::size_t kHeadValueLength = 1023;

// The queue's copy of the header summary names the envelope of a returned message.
void TurnQueuedHeadBack(const std::string& path, const std::string& user) {
  tagTaskHead head = ReadTaskHead(path, kHeadValueLength);
  if (head.From.empty()) return;
  TurnBackToSender(head, user);
  platform::ProfileFile file;
  if (!file.load(path)) return;
  file.setValue("Head", "From", head.From);
  file.setValue("Head", "To", head.To);
  file.setValue("Head", "Cc", head.Cc);
  file.setValue("Head", "Bcc", head.Bcc);
  file.save(path);
}

}  // namespace

QueueOutcome QueueTaskMessage(const std::string& user, const std::string& taskId, TaskAction action,
                              const std::string& reason) {
  const std::string home = HomeDirectory(user);
  std::string text;
  if (!platform::readWholeFile(TaskMessagePath(home, taskId), text))
    return QueueOutcome::kNotQueued;
  if (!RewriteTaskMessage(text, action, user, reason)) return QueueOutcome::kNotQueued;

  const std::string queue = QueueDirectory(user);
  const std::string queuedHead = TaskHeadPath(queue, taskId);
  std::string head;
  if (platform::readWholeFile(TaskHeadPath(home, taskId), head))
    platform::replaceWholeFile(queuedHead, head);
  if (action == kTaskReturn) TurnQueuedHeadBack(queuedHead, user);

  if (!platform::replaceWholeFile(TaskMessagePath(queue, taskId), text))
    return QueueOutcome::kNotWritten;
  return QueueOutcome::kQueued;
}
