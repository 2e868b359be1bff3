#pragma once

#include <string>
#include <vector>

#include "store/task_lists.h"

// The queue rows of the user's queued tasks, waiting, with their decisions; an id that is no task
// id gives no row.
std::vector<tagQueueRow> QueuedRows(const std::vector<std::string>& taskIds,
                                    const std::string& user);
