#pragma once

#include "views/report_list.h"

// The queue list: approved and returned tasks waiting to be sent, and those sent in this run.
class CQueueView : public CReportList {
  Q_OBJECT
 public:
  explicit CQueueView(QWidget* parent = nullptr);
  void OnInitialUpdate();
};
