#pragma once

#include <memory>
#include <string>

#include "store/task_lists.h"
#include "views/report_list.h"

class CQueueModel;

// The queue list: approved and returned tasks waiting to be sent, and those sent in this run.
class CQueueView : public CReportList {
  Q_OBJECT
 public:
  explicit CQueueView(CRowList<tagQueueRow>& rows, QWidget* parent = nullptr);
  ~CQueueView() override;
  void OnInitialUpdate();

  SendStatus Status(int row) const;
  // The server's last reply to the row's task, shown as the row's tooltip.
  std::string Reply(int row) const;

 private:
  std::unique_ptr<CQueueModel> m_model;
};
