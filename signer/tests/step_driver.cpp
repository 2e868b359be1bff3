// One step of Signer's for the power-cut tests, in the current directory, for the user "boss":
//
//   signer_step_driver decide approve|return <task id> [<reason>]
//       moves the decided task from the home folder into the queue, as the approve and return
//       commands do;
//   signer_step_driver send <smtp port>
//       settles the folders as a load does, then sends every queued task through the SMTP server
//       on 127.0.0.1, as a run of the periodic driver does.
//
// Exit code 0 when the step succeeded.
#include <string>
#include <vector>

#include "app/signer_app.h"
#include "postwell/mail_device.h"
#include "queue/queue_task.h"
#include "queue/send_queue.h"
#include "store/task_store.h"

namespace {

constexpr char kUser[] = "boss";

int Decide(const std::vector<std::string>& args) {
  const TaskAction action = args[1] == "approve" ? kTaskApprove : kTaskReturn;
  const std::string reason = args.size() > 3 ? args[3] : "";
  return MoveDecidedTask(kUser, args[2], action, reason) == QueueOutcome::kQueued ? 0 : 1;
}

int Send(const std::string& port) {
  ResolveInterruptedSteps(kUser);
  tagSignerAccount account;
  account.m_strServer = "127.0.0.1";
  account.m_nSMTPPort = std::stoi(port);
  account.m_strUserName = kUser;
  CMailDevice device;
  unsigned long error = 0;
  if (!ConnectToSend(device, account, error)) return 2;
  const std::string queue = QueueDirectory(kUser);
  int failed = 0;
  for (const std::string& taskId : StoredTaskIds(queue))
    if (!SendQueuedTask(device, queue, taskId, error)) ++failed;
  device.Disconnect();
  return failed == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "decide") return Decide(args);
  if (args.size() == 2 && args[0] == "send") return Send(args[1]);
  return 64;
}
