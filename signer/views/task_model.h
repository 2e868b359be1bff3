#pragma once

#include <QIcon>

#include "store/task_lists.h"
#include "views/row_model.h"

// The task list's rows: sender, recipients, subject, arrival and the (hidden) task id.
class CTaskModel : public CRowModel {
 public:
  enum Column { kFrom, kTo, kSubject, kArrived, kTaskId };

  explicit CTaskModel(CRowList<tagTaskRow>& rows, QObject* parent = nullptr);
  ~CTaskModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  CRowList<tagTaskRow>& m_rows;
  const QIcon m_image;
};
