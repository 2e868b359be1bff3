#pragma once

#include "views/report_list.h"

// The task list: the sign-off tasks waiting for a decision, newest at the top.
class CSignerView : public CReportList {
  Q_OBJECT
 public:
  explicit CSignerView(QWidget* parent = nullptr);
  void OnInitialUpdate();
};
