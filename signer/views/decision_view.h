#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/decision_journal.h"
#include "views/report_list.h"

class CDecisionModel;
class CTaskLists;

// The decisions journal as a read-only list, newest first: when, approved or returned, sender,
// subject and the reason given.
class CDecisionView : public CReportList {
  Q_OBJECT
 public:
  explicit CDecisionView(CTaskLists& lists, QWidget* parent = nullptr);
  ~CDecisionView() override;
  void OnInitialUpdate();

  // Lists the journal of the home folder again; an empty home (nobody logged in) lists nothing.
  void Reload(const std::string& home);
  // The decisions as the list shows them, in its order, and the headings of its columns.
  std::vector<tagDecision> ShownDecisions() const;
  std::vector<std::string> Headings() const;

 private:
  CTaskLists& m_lists;
  std::unique_ptr<CDecisionModel> m_model;
};
