#pragma once

#include <atomic>
#include <string>

class CSendDriver;
class CMailDevice;
struct tagSignerAccount;

// Sends every queue row not yet sent through the account's SMTP server, on one connection made
// whether or not a row waits: a sent task's files are deleted and its row reads "完成", a task that
// fails reads "重发" and is tried again on the next run. A failed connection goes to the title.
// Reports through the driver's signals. Stops before the next row once stopping is set. Runs on
// the periodic driver's thread.
void SendQueue(CSendDriver& driver, const std::atomic<bool>& stopping);

// Connects to the account's SMTP server, logging in with AUTH LOGIN when the account asks for it.
bool ConnectToSend(CMailDevice& device, const tagSignerAccount& account, unsigned long& error);

// Sends the queued task on the connected session. Once the server has taken it, the task is
// marked sent before anything else (its "<id>.inf" renamed to "<id>.sent" and synced), then its
// files are removed. False, with the task left queued, when it is not queued (no "<id>.inf") or
// the server did not take it.
bool SendQueuedTask(CMailDevice& device, const std::string& queue, const std::string& taskId,
                    unsigned long& error);
