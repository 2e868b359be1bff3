#include "mailbox/check_mailbox.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/last_error.h"
#include "postwell/mailbox_device.h"
#include "queue/queue_rows.h"
#include "queue/queue_task.h"
#include "store/decision_journal.h"
#include "store/list_time.h"
#include "store/login_settings.h"
#include "store/task_store.h"
#include "store/ui_text.h"
#include "text_format/formatted.h"

namespace {

constexpr int kHeaderBufferSize = 1024;
// Codes of a login that the server refused.
constexpr unsigned long kUserRejected = 4945;
constexpr unsigned long kPasswordRejected = 4946;
// How much of each value is read for the task list: encoded words take room until they are decoded.
constexpr std::size_t kTaskValueLength = kQueuedHeadValueMax;
// How many stored tasks go to the lists at a time.
constexpr std::size_t kListBatch = 500;
// The code of a message that could not be saved.
constexpr unsigned long kSaveFailed = 4932;

// A mailbox session that keeps the last reply it announced. The session leaves a refused login with
// QUIT, whose reply replaces its last reply; the refusal is what the user needs to see.
class CCheckSession : public CMailBoxDevice {
 public:
  void SetDeviceStatus(const char* status) override {
    CMailBoxDevice::SetDeviceStatus(status);
    const std::string text = status;
    if (text.rfind("<- ", 0) == 0) m_sAnnouncedReply = text.substr(3);
  }
  std::string LoginFailure(unsigned long error) const {
    return error == kUserRejected || error == kPasswordRejected ? m_sAnnouncedReply
                                                                : GetLastCommandResponse();
  }

 private:
  std::string m_sAnnouncedReply;
};

constexpr char kDownloadFailed[] = QT_TRANSLATE_NOOP("Signer", "下载任务失败.");

using text_format::formatted;

// A server's reply for the title: without the line break it may end with.
std::string Reply(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

std::string HeaderItem(const CPop3Message& message, const char* field) {
  char value[kHeaderBufferSize] = {};
  message.GetHeaderItemEx(field, value, sizeof value);
  return value;
}

// The envelope recipients that the mail server kept in the held copy, one X-Sign-Rcpt field each.
std::string HeldRecipients(const CPop3Message& message) {
  std::string recipients;
  for (int i = 0;; ++i) {
    const std::string recipient = message.GetHeaderItem("X-Sign-Rcpt", i);
    if (recipient.empty()) break;
    recipients += (recipients.empty() ? "" : ", ") + recipient;
  }
  return recipients;
}

}  // namespace

CCheckMailBox::CCheckMailBox(LoginAsker askLogin) : m_askLogin(std::move(askLogin)) {}

void CCheckMailBox::OnCheckMailBox() {
  const std::lock_guard lock(m_checkLock);
  if (m_bStopping) return;
  if (!m_bLoggedIn) {
    tagLoginEntry entry;
    if (!m_askLogin || !m_askLogin(entry)) return;
    m_login = entry;
  }
  Check();
}

void CCheckMailBox::OnChangeLogin() {
  const std::lock_guard lock(m_checkLock);
  if (m_bStopping) return;
  tagLoginEntry entry;
  if (!m_askLogin || !m_askLogin(entry)) return;
  m_login = entry;
  Check();
}

void CCheckMailBox::CheckAs(const tagLoginEntry& login) {
  const std::lock_guard lock(m_checkLock);
  if (m_bStopping) return;
  m_login = login;
  Check();
}

void CCheckMailBox::Check() {
  CCheckSession mailbox;
  mailbox.SetSecurity(ReadSessionSecurity());
  unsigned long error = 0;
  const bool connected = mailbox.Connect(m_login.m_strHost.c_str(), m_login.m_strUser.c_str(),
                                         m_login.m_strPass.c_str(), error,
                                         m_login.m_nPop3Port) != 0;
  if (!connected) {
    emit CheckReported(
        formatted("%s%s (%d)", TrBytes(QT_TRANSLATE_NOOP("Signer", "登录到服务器失败。")).c_str(),
                  Reply(mailbox.LoginFailure(error)).c_str(), static_cast<int>(error)));
    // Only a refusal needs the password again. A server that is down, restarting or out of reach
    // keeps the login: the next period tries again, and sending goes on meanwhile.
    if (error == kUserRejected || error == kPasswordRejected) {
      m_bLoggedIn = false;
      emit OnlineChanged(false);
      return;
    }
  }
  m_bLoggedIn = true;
  // Online first: a task that shows in the list may be decided.
  emit OnlineChanged(true);
  ShowStoreLocked(m_login.m_strUser);
  if (!connected) return;

  int count = 0;
  int size = 0;
  if (!mailbox.Statistics(count, size, error)) {
    emit CheckReported(
        formatted("%s%s (%d)", TrBytes(QT_TRANSLATE_NOOP("Signer", "获取信箱信息失败。")).c_str(),
                  Reply(mailbox.GetLastCommandResponse()).c_str(), static_cast<int>(error)));
    mailbox.Disconnect();
    return;
  }
  emit DownloadProgress(0, count);
  const std::string home = HomeDirectory(m_login.m_strUser);
  bool failed = false;
  int listed = 0;
  for (int i = 1; i <= count && !m_bStopping; ++i) {
    emit DownloadProgress(i, count);
    if (!DownloadMessage(mailbox, i, home, failed, listed)) break;
  }
  mailbox.Disconnect();
  if (listed > 0) emit TasksArrived(listed);
  // A failure stays in the title until a check gets through.
  if (!failed && !m_bStopping) emit CheckReported(m_login.m_strUser);
}

bool CCheckMailBox::DownloadMessage(CMailBoxDevice& mailbox, int i, const std::string& home,
                                    bool& failed, int& listed) {
  const auto report = [this, &failed](const std::string& text) {
    failed = true;
    emit CheckReported(text);
  };
  unsigned long error = 0;
  CPop3Message message;
  if (!mailbox.Retrieve(i, message, error)) {
    report(formatted("%s%s (%d)", TrBytes(QT_TRANSLATE_NOOP("Signer", "接收邮件失败。")).c_str(),
                     Reply(mailbox.GetLastCommandResponse()).c_str(), static_cast<int>(error)));
    // A message listed larger than the session takes was never asked for: the session is still in
    // step, and the messages after it are fetched; that one stays on the server.
    unsigned long size = 0;
    return mailbox.GetMessageSize(i, size) && size > mailbox.GetMessageSizeLimit();
  }
  const std::string taskId = DrawTaskId(home);
  if (taskId.empty()) {
    report(TrBytes(QT_TRANSLATE_NOOP("Signer", "获得邮件存盘序列号错误")));
    return false;
  }
  tagTaskHead head;
  head.From = HeaderItem(message, "From");
  head.To = HeaderItem(message, "To");
  head.Cc = HeaderItem(message, "Cc");
  head.Bcc = HeaderItem(message, "Bcc");
  head.Subject = HeaderItem(message, "Subject");
  head.MsgId = taskId;
  head.WaterId = WaterIdFromReceived(HeaderItem(message, "Received"));
  head.Recipients = HeldRecipients(message);
  // The message first, then the summary that makes it a task; the server keeps the message until
  // both are on the disk.
  const std::string messagePath = TaskMessagePath(home, taskId);
  const char* text = message.GetMessageText();
  if (!WriteTaskMessage(messagePath, text != nullptr ? text : "")) {
    report(formatted("%s(%d)", TrBytes(kDownloadFailed).c_str(), static_cast<int>(kSaveFailed)));
    return false;
  }
  const std::string headPath = TaskHeadPath(home, taskId);
  if (!WriteTaskHead(headPath, head)) {
    const unsigned long failure = platform::lastError();
    platform::deleteFile(messagePath);
    report(formatted("%s(%d)", TrBytes(kDownloadFailed).c_str(), static_cast<int>(failure)));
    return false;
  }
  listed += ListTasks({headPath});
  mailbox.Delete(i, error);
  return true;
}

void CCheckMailBox::OnLoadTaskStore() {
  const std::lock_guard lock(m_checkLock);
  ShowStoreLocked(m_login.m_strUser);
}

void CCheckMailBox::ShowStore(const std::string& user) {
  const std::lock_guard lock(m_checkLock);
  if (m_bStopping) return;
  ShowStoreLocked(user);
}

void CCheckMailBox::ShowStoreLocked(const std::string& user) {
  const std::string home = HomeDirectory(user);
  const std::string queue = QueueDirectory(user);
  // A user name of the same store (boss, boss@example.test) keeps the lists; only the name the
  // decisions are signed with changes.
  const bool sameStore = m_bListed && HomeDirectory(m_strListedUser) == home;
  const bool clear = m_bListed && !sameStore;
  if (clear) m_waterIds.clear();
  emit ListsReset(user, clear);
  m_strListedUser = user;
  m_bListed = true;
  if (sameStore) return;
  if (m_settledStores.insert(home).second) {
    ResolveInterruptedSteps(user);
    // What a crash left half-written is never listed nor taken as the original of a copy.
    SetAsideIncompleteTasks(home);
    SetAsideIncompleteTasks(queue);
  }
  // In batches: one call to the lists for every few hundred rows.
  std::vector<std::string> batch;
  for (const std::string& taskId : StoredTaskIds(home)) {
    batch.push_back(TaskHeadPath(home, taskId));
    if (batch.size() == kListBatch) ListTasks(std::exchange(batch, {}));
  }
  ListTasks(batch);
  // A decided task that the server offers again (its deletion was not committed) is a copy.
  for (std::string& waterId : DecidedWaterIds(home)) m_waterIds.insert(std::move(waterId));
  const std::vector<std::string> queued = StoredTaskIds(queue);
  for (std::size_t first = 0; first < queued.size(); first += kListBatch) {
    const std::size_t last = std::min(queued.size(), first + kListBatch);
    emit QueuedListed(QueuedRows({queued.begin() + static_cast<std::ptrdiff_t>(first),
                                  queued.begin() + static_cast<std::ptrdiff_t>(last)},
                                 user));
  }
}

int CCheckMailBox::ListTasks(const std::vector<std::string>& headPaths) {
  std::vector<tagTaskRow> rows;
  for (const std::string& headPath : headPaths) {
    // The task is known by the name of its file; the MsgId written inside it is never trusted.
    const std::string taskId = TaskIdOfHeadPath(headPath);
    if (taskId.empty()) continue;
    const tagTaskHead head = ReadTaskHead(headPath, kTaskValueLength);
    // A task without a WaterId carries no name of the mail server's and is never taken for a copy.
    if (!head.WaterId.empty() && !m_waterIds.insert(head.WaterId).second) {
      const std::string base = headPath.substr(0, headPath.size() - 4);  // without ".inf"
      platform::deleteFile(base + ".inf");
      platform::deleteFile(base + ".eml");
      continue;
    }
    // The ".inf" is written last when a task is stored: its time is when the task arrived, in
    // this run or an earlier one.
    rows.push_back(TaskRowOf(head, taskId, FileTimeOrNow(headPath)));
  }
  if (!rows.empty()) emit TasksListed(rows);
  return static_cast<int>(rows.size());
}
