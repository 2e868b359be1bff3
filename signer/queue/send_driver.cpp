#include "queue/send_driver.h"

#include "queue/send_queue.h"

CSendDriver::CSendDriver(std::function<tagSignerAccount()> account, const CTaskLists& lists,
                         std::chrono::milliseconds period)
    : m_account(std::move(account)), m_lists(lists), m_period(period) {}

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
