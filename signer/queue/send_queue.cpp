#include "queue/send_queue.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "groundkit/groundkit.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "postwell/mail_device.h"
#include "queue/queue_task.h"
#include "queue/send_driver.h"
#include "store/login_settings.h"
#include "store/task_store.h"
#include "store/ui_text.h"

namespace {

// The server's reply for the title and the row: one line; the error code when there is none.
std::string ReplyText(const CMailDevice& device, unsigned long error) {
  std::string reply = device.GetLastCommandResponse();
  for (char& c : reply)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  while (!reply.empty() && reply.back() == ' ') reply.pop_back();
  return reply.empty() ? "(" + std::to_string(error) + ")" : reply;
}

std::string BareAddress(const std::string& address) {
  std::vector<char> bare(address.size() + 1024);
  BSCFEM_2SimpleEmailAddress(address.c_str(), bare.data());
  return bare.data();
}

void AddRecipients(const std::string& addresses, std::vector<std::string>& recipients) {
  std::vector<char> list(addresses.begin(), addresses.end());
  list.push_back('\0');
  std::vector<std::string> found;
  BSCFEM_SplitEmailToArray(list.data(), found);
  for (const std::string& address : found) recipients.push_back(BareAddress(address));
}

// The queued task as an outgoing message: from the sender of its head to the envelope recipients
// the mail server kept, else to each address of the To, Cc and Bcc values.
void FillMessage(CSMTPMessage& message, const std::string& queue, const std::string& taskId) {
  const tagTaskHead head = ReadTaskHead(TaskHeadPath(queue, taskId), kQueuedHeadValueMax);
  message.m_From.m_sAddress = BareAddress(head.From);
  message.m_sContentFile = TaskMessagePath(queue, taskId);
  if (!head.Recipients.empty()) {
    AddRecipients(head.Recipients, message.m_arrRecipient);
    return;
  }
  for (const std::string* addresses : {&head.To, &head.Cc, &head.Bcc})
    AddRecipients(*addresses, message.m_arrRecipient);
}

// Marks the task sent: from here on no run sends it again, whenever the process dies.
void RecordSent(const CMailDevice& device, const std::string& queue, const std::string& taskId) {
  const std::string head = TaskHeadPath(queue, taskId);
  const std::string record = SentRecordPath(queue, taskId);
  if (!platform::moveFile(head, record)) {
    platform::deleteFile(head);
    return;
  }
  // Saving the record flushes it and its folder, which makes the rename durable.
  platform::ProfileFile file;
  file.load(record);
  file.setValue("Sent", "Time", DecisionTime());
  file.setValue("Sent", "Reply", JournalField(device.GetLastCommandResponse()));
  file.save(record);
}

}  // namespace

bool ConnectToSend(CMailDevice& device, const tagSignerAccount& account, unsigned long& error) {
  device.SetSecurity(ReadSessionSecurity());
  if (account.m_bAuth)
    return device.MailFunc_ConnectESMTP(
               account.m_strServer.c_str(), codec::base64OneLine(account.m_strUserName).c_str(),
               codec::base64OneLine(account.m_strPassword).c_str(), account.m_nSMTPPort, error) != 0;
  return device.MailFunc_Connect(account.m_strServer.c_str(), account.m_nSMTPPort, error) != 0;
}

bool SendQueuedTask(CMailDevice& device, const std::string& queue, const std::string& taskId,
                    unsigned long& error) {
  if (!platform::fileExists(TaskHeadPath(queue, taskId))) return false;
  CSMTPMessage message;
  FillMessage(message, queue, taskId);
  if (!device.MailFunc_SendMailMessage(message, error)) return false;
  RecordSent(device, queue, taskId);
  platform::deleteFile(TaskMessagePath(queue, taskId));
  platform::deleteFile(SentRecordPath(queue, taskId));
  return true;
}

void SendQueue(CSendDriver& driver, const std::atomic<bool>& stopping) {
  const tagSignerAccount account = driver.Account();
  CMailDevice device;
  unsigned long error = 0;
  if (!ConnectToSend(device, account, error)) {
    emit driver.StatusReported(TrBytes(QT_TRANSLATE_NOOP("Signer", "提交任务失败.")) + "(" +
                               std::to_string(error) + ")");
    return;
  }
  const tagPendingSends pending = driver.PendingSends();
  // While the lists change to another login's store, its queue waits for the next run.
  if (pending.User != account.m_strUserName) return;
  const std::string queue = QueueDirectory(account.m_strUserName);
  std::string failure;
  for (const std::string& taskId : pending.TaskIds) {
    if (stopping) break;
    if (SendQueuedTask(device, queue, taskId, error)) {
      emit driver.SendStatusReported(pending.Generation, taskId, SendStatus::kSent, "");
      continue;
    }
    const std::string reply = ReplyText(device, error);
    emit driver.SendStatusReported(pending.Generation, taskId, SendStatus::kRetry, reply);
    failure = TrBytes(QT_TRANSLATE_NOOP("Signer", "发送任务失败。")) + reply + " (" +
              std::to_string(error) + ")";
  }
  // The last failure stays in the title until a run sends everything it tries.
  if (!stopping) emit driver.StatusReported(failure);
}
