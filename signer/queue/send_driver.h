#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "store/signer_account.h"
#include "store/task_lists.h"

// The periodic driver: a thread that, every period while the client is online, asks for a mailbox
// check and sends the queue. It changes no window: it reports through its signals, emitted on its
// own thread, and learns whether the client is online through SetOnline.
class CSendDriver : public QObject {
  Q_OBJECT
 public:
  // account gives the account to send with; it is called on the driver's thread. The lists give
  // what waits to be sent, read on the driver's thread.
  CSendDriver(std::function<tagSignerAccount()> account, const CTaskLists& lists,
              std::chrono::milliseconds period);
  // Stops the thread, waiting as long as it needs.
  ~CSendDriver() override;
  CSendDriver(const CSendDriver&) = delete;
  CSendDriver& operator=(const CSendDriver&) = delete;

  void Start();
  // Wakes the thread and waits until it has finished the row it was sending, at most patience.
  // False when it is still busy then; it stops on its own later.
  bool Stop(std::chrono::milliseconds patience);

  // Any thread.
  void SetOnline(bool online) { m_bOnline = online; }
  tagSignerAccount Account() const { return m_account(); }
  tagPendingSends PendingSends() const { return m_lists.PendingSends(); }

 signals:
  void CheckWanted();
  // The text the sending shows in the title; empty when there is nothing to say.
  void StatusReported(const std::string& text);
  // The queued task, read in that generation of the lists, has the status, with the server's
  // reply.
  void SendStatusReported(std::uint64_t generation, const std::string& taskId, SendStatus status,
                          const std::string& reply);

 private:
  void Run();

  const std::function<tagSignerAccount()> m_account;
  const CTaskLists& m_lists;
  const std::chrono::milliseconds m_period;
  std::atomic<bool> m_bOnline{false};
  std::atomic<bool> m_bStopping{false};
  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_bFinished = false;
  std::thread m_thread;
};
