#pragma once

#include <QIcon>

#include "store/task_lists.h"
#include "views/row_model.h"

// The queue list's rows: status, sender, subject, recipients, when queued and the (hidden) task id;
// the server's last reply is every cell's tooltip.
class CQueueModel : public CRowModel {
 public:
  enum Column { kStatus, kFrom, kSubject, kTo, kQueued, kTaskId };
  // The row's SendStatus, as an int.
  static constexpr int kStatusRole = Qt::UserRole + 3;

  explicit CQueueModel(CRowList<tagQueueRow>& rows, QObject* parent = nullptr);
  ~CQueueModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  CRowList<tagQueueRow>& m_rows;
  const QIcon m_image;
};
