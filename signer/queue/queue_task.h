#pragma once

#include <string>

#include "queue/task_message.h"

enum class QueueOutcome {
  kQueued,
  // The task's message or header summary is missing, or the message has no empty line after its
  // header.
  kNotQueued,
  // The task could not be written into the queue directory; nothing of it is left there.
  kNotWritten,
};

// Puts the user's task into the send queue: the message rewritten for the action into the queue
// directory's "<id>.eml" and the header summary into its "<id>.inf" (for a return, turned back to
// the sender). Both files are written whole or not at all; the task's own files stay where they are.
QueueOutcome QueueTaskMessage(const std::string& user, const std::string& taskId, TaskAction action,
                              const std::string& reason);
