#pragma once
// Queueing a message: one mission per recipient, the message stored once in the spool directory.

#include <string>
#include <vector>

#include "settings.h"

namespace mailqueue {

struct SubmitRequest {
  std::string from;
  std::vector<std::string> to;
  std::string subject;
  // Composed from these when eml is empty.
  std::string bodyFile;
  std::vector<std::string> attachments;
  // A whole message, taken as it is.
  std::string eml;
};

// Queues the message for every recipient and gives the missions' identifiers in recipient order.
// False with the reason when the request is unusable or nothing could be queued; a mission that the
// queue refused after others were queued is named in why, and the others stay queued.
bool submit(const Settings& settings, const SubmitRequest& request, std::vector<std::string>& ids,
            std::string& why);

}  // namespace mailqueue
