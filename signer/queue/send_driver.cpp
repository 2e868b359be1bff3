#include "queue/send_driver.h"

#include "queue/send_queue.h"

CSendDriver::CSendDriver(std::function<tagSignerAccount()> account,
                         std::chrono::milliseconds period)
    : m_account(std::move(account)), m_period(period) {}

CSendDriver::~CSendDriver() { Stop(std::chrono::milliseconds::max()); }

void CSendDriver::Start() { m_thread = std::thread(&CSendDriver::Run, this); }

bool CSendDriver::Stop(std::chrono::milliseconds patience) {
  if (!m_thread.joinable()) return true;
  {
    std::unique_lock lock(m_lock);
    m_bStopping = true;
    m_wake.notify_all();
    const auto finished = [this] { return m_bFinished; };
    if (patience == std::chrono::milliseconds::max())
      m_wake.wait(lock, finished);
    else if (!m_wake.wait_for(lock, patience, finished))
      return false;
  }
  m_thread.join();
  return true;
}

tagQueueRows CSendDriver::ReadQueueRows(const std::atomic<bool>& stopping) {
  auto answer = std::make_shared<std::promise<tagQueueRows>>();
  std::future<tagQueueRows> read = answer->get_future();
  emit QueueRowsWanted(answer);
  answer.reset();  // a receiver that drops the request breaks the promise
  while (read.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    if (stopping) return {};
  try {
    return read.get();
  } catch (const std::future_error&) {
    return {};
  }
}

void CSendDriver::Run() {
  for (;;) {
    {
      std::unique_lock lock(m_lock);
      if (m_wake.wait_for(lock, m_period, [this] { return m_bStopping.load(); })) break;
    }
    if (!m_bOnline) continue;
    emit CheckWanted();
    SendQueue(*this, m_bStopping);
  }
  const std::lock_guard lock(m_lock);
  m_bFinished = true;
  m_wake.notify_all();
}
