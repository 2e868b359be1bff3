#pragma once

#include <QIcon>

#include "store/decision_journal.h"
#include "views/row_model.h"

// The decisions journal's rows, newest first: when, approved or returned, sender, recipients,
// subject and the reason given.
class CDecisionModel : public CListModel<tagDecision> {
 public:
  enum Column { kTime, kDecision, kSender, kRecipients, kSubject, kReason };

  explicit CDecisionModel(CRowList<tagDecision>& rows, QObject* parent = nullptr);

  const tagDecision& At(int row) const { return m_rows.At(row); }

 private:
  QVariant RowData(const tagDecision& row, int column, int role) const override;

  const QIcon m_approved;
  const QIcon m_returned;
};
