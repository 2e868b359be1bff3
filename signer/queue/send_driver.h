#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/signer_app.h"

// One read of the queue list: whose store it shows, in which generation, and the id and status of
// each row.
struct tagQueueRows {
  struct tagRow {
    std::string m_strTaskId;
    std::string m_strStatus;
  };
  std::string m_strUser;
  std::uint64_t m_nGeneration = 0;
  std::vector<tagRow> m_rows;
};
using QueueRowsAnswer = std::shared_ptr<std::promise<tagQueueRows>>;

// The periodic driver: a thread that, every period while the client is online, asks for a mailbox
// check and sends the queue. It changes no window: it reports through its signals, emitted on its
// own thread, and learns whether the client is online through SetOnline.
class CSendDriver : public QObject {
  Q_OBJECT
 public:
  // account gives the account to send with; it is called on the driver's thread.
  CSendDriver(std::function<tagSignerAccount()> account, std::chrono::milliseconds period);
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
  // The queue list's rows, asked for through QueueRowsWanted and waited for. Empty when stopping
  // first or when nobody answers.
  tagQueueRows ReadQueueRows(const std::atomic<bool>& stopping);

 signals:
  void CheckWanted();
  // The text the sending shows in the title; empty when there is nothing to say.
  void StatusReported(const std::string& text);
  // The receiver fills the answer with the queue list's rows on the GUI thread.
  void QueueRowsWanted(const QueueRowsAnswer& answer);
  // The row, read in that generation of the queue list, has the status, with the server's reply.
  void RowStatusReported(std::uint64_t generation, int row, const std::string& status,
                         const std::string& reply);

 private:
  void Run();

  const std::function<tagSignerAccount()> m_account;
  const std::chrono::milliseconds m_period;
  std::atomic<bool> m_bOnline{false};
  std::atomic<bool> m_bStopping{false};
  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_bFinished = false;
  std::thread m_thread;
};
