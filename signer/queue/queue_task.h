#pragma once

#include <string>

#include "queue/task_message.h"

enum class QueueOutcome {
  kQueued,
  // The task's message is missing or has no empty line after its header.
  kNotQueued,
  // The rewritten message could not be written into the queue directory.
  kNotWritten,
};

// Puts the user's task into the send queue: the message rewritten for the action into the queue
// directory's "<id>.eml" and the header summary into its "<id>.inf" (for a return, turned back to
// the sender). The ".eml" is written whole or not at all; the task's own files stay where they are.
QueueOutcome QueueTaskMessage(const std::string& user, const std::string& taskId, TaskAction action,
                              const std::string& reason);
