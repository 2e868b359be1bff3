#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class CSignerApp;

// The periodic driver: a thread that, every period while the client is online, asks the mailbox
// check worker for a check and sends the queue.
class CSendDriver {
 public:
  CSendDriver(CSignerApp& app, std::chrono::milliseconds period);
  // Stops the thread, waiting as long as it needs.
  ~CSendDriver();
  CSendDriver(const CSendDriver&) = delete;
  CSendDriver& operator=(const CSendDriver&) = delete;

  void Start();
  // Wakes the thread and waits until it has finished the row it was sending, at most patience.
  // False when it is still busy then; it stops on its own later.
  bool Stop(std::chrono::milliseconds patience);

 private:
  void Run();

  CSignerApp& m_app;
  const std::chrono::milliseconds m_period;
  std::atomic<bool> m_bStopping{false};
  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_bFinished = false;
  std::thread m_thread;
};
