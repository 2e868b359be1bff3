#include "queue/queue_rows.h"

#include "queue/queue_task.h"
#include "store/list_time.h"
#include "store/task_store.h"

std::vector<tagQueueRow> QueuedRows(const std::vector<std::string>& taskIds,
                                    const std::string& user) {
  std::vector<tagQueueRow> rows;
  const std::string queue = QueueDirectory(user);
  for (const std::string& taskId : taskIds) {
    if (!IsTaskId(taskId)) continue;
    const std::string headPath = TaskHeadPath(queue, taskId);
    const tagTaskHead head = ReadTaskHead(headPath, kQueuedHeadValueMax);
    // The queued ".inf" is written once, when the task is queued.
    rows.push_back({ListText(head.From), ListText(head.Subject), ListText(head.To), taskId,
                    ListTime(FileTimeOrNow(headPath)), QueuedDecision(queue, taskId).Decision});
  }
  return rows;
}
