#pragma once
// The missions of the queue, for people (a table) and for scripts (JSON).

#include <ostream>
#include <string>
#include <vector>

#include "postwell/mail_queue_db.h"
#include "settings.h"

namespace mailqueue {

// "queued", "retry", "sending", "sent", "failed"; "state N" for a state of another host.
std::string stateName(unsigned state);

void writeTable(const std::vector<tagQueuedMission>& missions, long now, std::ostream& out);
void writeJson(const std::vector<tagQueuedMission>& missions, std::ostream& out);

// Reads every mission of the queue; false with the reason.
bool readMissions(const Settings& settings, std::vector<tagQueuedMission>& missions,
                  std::string& why);

}  // namespace mailqueue
