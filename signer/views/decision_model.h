#pragma once

#include <QIcon>
#include <string>

#include "store/decision_journal.h"
#include "views/row_model.h"

// The decisions journal's rows, newest first: when, approved or returned, sender, subject and the
// reason given.
class CDecisionModel : public CRowModel {
 public:
  enum Column { kTime, kDecision, kSender, kSubject, kReason };

  explicit CDecisionModel(QObject* parent = nullptr);
  ~CDecisionModel() override;

  // Reads the journal of the home folder again; an empty home (nobody logged in) lists nothing.
  void Reload(const std::string& home);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  CRowList<tagDecision> m_rows;
  const QIcon m_approved;
  const QIcon m_returned;
};
