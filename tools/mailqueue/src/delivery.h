#pragma once
// Delivering the due missions: taken from the queue under a lease, grouped by server project,
// sent through one sending device per group, every outcome recorded as it happens.

#include <atomic>
#include <cstdio>
#include <string>

#include "settings.h"

namespace mailqueue {

struct RunOptions {
  // Deliver what is due, then return; otherwise keep going until stop is set.
  bool once = false;
  // Where a progress line is drawn while a batch goes out; null for none.
  std::FILE* progress = nullptr;
  // Where one line per ended mission goes (the journal, under systemd); null for none.
  std::FILE* events = nullptr;
};

struct RunSummary {
  int sent = 0;
  int rescheduled = 0;
  int givenUp = 0;
  // Taken from the queue and given back unsent because the run was stopped.
  int returned = 0;
};

// False with the reason when the queue cannot be opened. Failures of single missions are recorded
// with them and reported through warn.
bool deliver(const Settings& settings, const RunOptions& options, const std::atomic<bool>& stop,
             RunSummary& summary, std::string& why, std::FILE* warn);

}  // namespace mailqueue
