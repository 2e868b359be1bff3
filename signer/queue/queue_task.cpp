#include "queue/queue_task.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/whole_file.h"

namespace {

constexpr char kDecisionSection[] = "Decision";
constexpr char kSentExtension[] = ".sent";
// What replaceWholeFile puts after a file's name while it writes it.
constexpr char kTemporaryMark[] = ".~";

// The keys of [Decision], in the order of the journal's fields after the task id.
struct tagDecisionKey {
  const char* name;
  std::string tagDecision::*field;
};
constexpr tagDecisionKey kDecisionKeys[] = {
    {"Time", &tagDecision::Time},         {"WaterId", &tagDecision::WaterId},
    {"Sender", &tagDecision::Sender},     {"Recipients", &tagDecision::Recipients},
    {"Subject", &tagDecision::Subject},   {"Decision", &tagDecision::Decision},
    {"Reason", &tagDecision::Reason},     {"Approver", &tagDecision::Approver}};

// Quoted, so that the value reads back with its blanks at either end.
std::string Quoted(const std::string& value) { return '"' + JournalField(value) + '"'; }

// The queue's copy of the task's header summary with the decision; for a return its envelope
// names the sender as the only recipient and the supervisor at the sender's domain as the sender.
bool QueuedHead(const std::string& homeHead, const tagTaskHead& head, TaskAction action,
                const std::string& user, const tagDecision& decision, std::string& queued) {
  if (!platform::readWholeFile(homeHead, queued)) return false;
  platform::ProfileFile file;
  file.parse(queued);
  if (action == kTaskReturn && !head.From.empty()) {
    tagTaskHead turned = head;
    TurnBackToSender(turned, user);
    file.setValue("Head", "From", turned.From);
    file.setValue("Head", "To", turned.To);
    file.setValue("Head", "Cc", turned.Cc);
    file.setValue("Head", "Bcc", turned.Bcc);
    file.removeKey("Head", "Recipients");
  }
  file.removeSection(kDecisionSection);
  for (const tagDecisionKey& key : kDecisionKeys)
    file.setValue(kDecisionSection, key.name, Quoted(decision.*key.field));
  queued = file.serialize();
  return true;
}

// The task files of one id found in the queue folder.
struct tagQueuedFiles {
  bool message = false;
  bool head = false;
  bool sent = false;
};

// Removes what is left of the task in the home folder, header summary first.
void RemoveHomeCopy(const std::string& home, const std::string& taskId) {
  platform::deleteFile(TaskHeadPath(home, taskId));
  platform::deleteFile(TaskMessagePath(home, taskId));
}

// Journals the queued task's decision unless the journal has it already: the process died between
// queuing the task and journaling it, or while it wrote the line.
void JournalQueuedDecision(const std::string& home, const std::string& queue,
                           const std::string& taskId) {
  const tagDecision decision = QueuedDecision(queue, taskId);
  if (decision.Decision.empty()) return;  // queued without a decision section
  for (const tagDecision& journaled : ReadDecisions(home))
    if (journaled == decision) return;
  AppendDecision(home, decision);
}

// Each file name of the folder: the ids of task files and sent records, and temporary files, which
// are removed.
std::map<std::string, tagQueuedFiles> ScanQueue(const std::string& queue) {
  std::map<std::string, tagQueuedFiles> tasks;
  for (const platform::DirEntry& entry : platform::findFiles(queue + "/*")) {
    if (entry.isDirectory) continue;
    const std::string& name = entry.name;
    const std::size_t mark = name.find(kTemporaryMark);
    const std::string file = name.substr(0, mark);
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || !IsTaskId(file.substr(0, dot))) continue;
    const std::string extension = file.substr(dot);
    if (extension != ".eml" && extension != ".inf" && extension != kSentExtension) continue;
    if (mark != std::string::npos) {
      platform::deleteFile(queue + "/" + name);
      continue;
    }
    tagQueuedFiles& files = tasks[file.substr(0, dot)];
    (extension == ".eml" ? files.message : extension == ".inf" ? files.head : files.sent) = true;
  }
  return tasks;
}

void RemoveJournalTemporaries(const std::string& home) {
  const std::string journal = DecisionJournalPath(home);
  const std::string prefix = journal.substr(home.size() + 1) + kTemporaryMark;
  for (const platform::DirEntry& entry : platform::findFiles(journal + kTemporaryMark + "*"))
    if (!entry.isDirectory && entry.name.rfind(prefix, 0) == 0)
      platform::deleteFile(home + "/" + entry.name);
}

// The decision on the task as the journal records it, from its home header summary.
tagDecision DecisionOnTask(const tagTaskHead& homeHead, const std::string& taskId,
                           TaskAction action, const std::string& user, const std::string& reason) {
  std::string recipients = homeHead.Recipients;
  if (recipients.empty())
    for (const std::string* addresses : {&homeHead.To, &homeHead.Cc, &homeHead.Bcc})
      if (!addresses->empty()) recipients += (recipients.empty() ? "" : ", ") + *addresses;
  return {DecisionTime(),
          taskId,
          homeHead.WaterId,
          homeHead.From,
          recipients,
          homeHead.Subject,
          action == kTaskApprove ? kDecisionApprove : kDecisionReturn,
          reason,
          user};
}

}  // namespace

QueueOutcome QueueTaskMessage(const std::string& user, const std::string& taskId, TaskAction action,
                              const std::string& reason, tagDecision* decided) {
  const std::string home = HomeDirectory(user);
  std::string text;
  if (!platform::readWholeFile(TaskMessagePath(home, taskId), text))
    return QueueOutcome::kNotQueued;
  if (!RewriteTaskMessage(text, action, user, reason)) return QueueOutcome::kNotQueued;
  // Without its header summary a queued task would have no envelope to be sent with.
  const std::string homeHead = TaskHeadPath(home, taskId);
  if (!platform::fileExists(homeHead)) return QueueOutcome::kNotQueued;
  const tagTaskHead head = ReadTaskHead(homeHead, kQueuedHeadValueMax);
  const tagDecision decision = DecisionOnTask(head, taskId, action, user, reason);
  std::string queuedHead;
  if (!QueuedHead(homeHead, head, action, user, decision, queuedHead))
    return QueueOutcome::kNotQueued;

  const std::string queue = QueueDirectory(user);
  const std::string queuedMessage = TaskMessagePath(queue, taskId);
  if (!platform::replaceWholeFile(queuedMessage, text)) return QueueOutcome::kNotWritten;
  if (!platform::replaceWholeFile(TaskHeadPath(queue, taskId), queuedHead)) {
    platform::deleteFile(queuedMessage);
    return QueueOutcome::kNotWritten;
  }
  if (decided != nullptr) *decided = decision;
  return QueueOutcome::kQueued;
}

QueueOutcome MoveDecidedTask(const std::string& user, const std::string& taskId, TaskAction action,
                             const std::string& reason) {
  tagDecision decision;
  const QueueOutcome outcome = QueueTaskMessage(user, taskId, action, reason, &decision);
  if (outcome != QueueOutcome::kQueued) return outcome;
  const std::string home = HomeDirectory(user);
  if (!AppendDecision(home, decision)) {
    // An undocumented decision is not taken: the task goes back to waiting in the home folder.
    const std::string queue = QueueDirectory(user);
    platform::deleteFile(TaskHeadPath(queue, taskId));
    platform::deleteFile(TaskMessagePath(queue, taskId));
    return QueueOutcome::kNotWritten;
  }
  RemoveHomeCopy(home, taskId);
  return QueueOutcome::kQueued;
}

std::string SentRecordPath(const std::string& queue, const std::string& taskId) {
  return queue + "/" + taskId + kSentExtension;
}

tagDecision QueuedDecision(const std::string& queue, const std::string& taskId) {
  platform::ProfileFile file;
  file.load(TaskHeadPath(queue, taskId));
  tagDecision decision;
  decision.TaskId = taskId;
  for (const tagDecisionKey& key : kDecisionKeys)
    decision.*key.field = file.value(kDecisionSection, key.name).value_or("");
  return decision;
}

void ResolveInterruptedSteps(const std::string& user) {
  const std::string home = HomeDirectory(user);
  const std::string queue = QueueDirectory(user);
  RemoveJournalTemporaries(home);
  for (const auto& [taskId, files] : ScanQueue(queue)) {
    const std::string queuedHead = TaskHeadPath(queue, taskId);
    const std::string queuedMessage = TaskMessagePath(queue, taskId);
    if (files.sent) {
      platform::deleteFile(queuedHead);
      platform::deleteFile(queuedMessage);
      platform::deleteFile(SentRecordPath(queue, taskId));
    } else if (files.head && files.message) {
      if (platform::fileExists(TaskHeadPath(home, taskId)) ||
          platform::fileExists(TaskMessagePath(home, taskId))) {
        JournalQueuedDecision(home, queue, taskId);
        RemoveHomeCopy(home, taskId);
      }
    } else if (files.head) {
      platform::deleteFile(queuedHead);
    } else if (platform::fileExists(TaskHeadPath(home, taskId)) &&
               platform::fileExists(TaskMessagePath(home, taskId))) {
      platform::deleteFile(queuedMessage);
    }
  }
}
