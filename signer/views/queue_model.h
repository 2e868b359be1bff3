#pragma once

#include <QIcon>

#include "store/task_lists.h"
#include "views/row_model.h"

// The queue list's rows: status, sender, subject, recipients, when queued, approved or returned,
// and the (hidden) task id; the server's last reply is every cell's tooltip.
class CQueueModel : public CListModel<tagQueueRow> {
 public:
  enum Column { kStatus, kFrom, kSubject, kTo, kQueued, kDecision, kTaskId };
  // The row's SendStatus, as an int.
  static constexpr int kStatusRole = Qt::UserRole + 3;

  explicit CQueueModel(CRowList<tagQueueRow>& rows, QObject* parent = nullptr);
 private:
  QVariant RowData(const tagQueueRow& row, int column, int role) const override;

  const QIcon m_image;
};
