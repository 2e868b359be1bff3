#pragma once

#include <QIcon>
#include <QTimer>
#include <cstdint>

#include "store/task_lists.h"
#include "views/row_model.h"

// The task list's rows: sender, recipients, subject, arrival, how long the task has waited and the
// (hidden) task id. A task that has waited longer than the limit stands out.
class CTaskModel : public CListModel<tagTaskRow> {
 public:
  enum Column { kFrom, kTo, kSubject, kArrived, kWaited, kTaskId };

  // oldAfterHours 0: no task stands out.
  explicit CTaskModel(CRowList<tagTaskRow>& rows, int oldAfterHours = 24,
                      QObject* parent = nullptr);

  // How long the tasks have waited is measured at now (seconds since the epoch) from here on.
  void SetNow(std::int64_t now);

 private:
  QVariant RowData(const tagTaskRow& row, int column, int role) const override;
  QVariant SortKey(const tagTaskRow& row, int column) const override;

  const QIcon m_image;
  const std::int64_t m_nOldAfter;  // seconds; 0 for never
  std::int64_t m_nNow;
  // The waiting times move on once a minute.
  QTimer m_clock;
};
