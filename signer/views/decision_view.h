#pragma once

#include <memory>
#include <string>

#include "views/report_list.h"

class CDecisionModel;

// The decisions journal as a read-only list, newest first: when, approved or returned, sender,
// subject and the reason given.
class CDecisionView : public CReportList {
  Q_OBJECT
 public:
  explicit CDecisionView(QWidget* parent = nullptr);
  ~CDecisionView() override;
  void OnInitialUpdate();

  // Lists the journal of the home folder again; an empty home (nobody logged in) lists nothing.
  void Reload(const std::string& home);

 private:
  std::unique_ptr<CDecisionModel> m_model;
};
