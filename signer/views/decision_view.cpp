#include "views/decision_view.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>
#include <vector>

#include "app/ui_text.h"
#include "store/decision_journal.h"

namespace {

// The journal's word for a decision stays as written; the list shows it in the user's language.
std::string DecisionText(const std::string& decision) {
  if (decision == kDecisionApprove) return TrBytes(QT_TRANSLATE_NOOP("Signer", "签发"));
  if (decision == kDecisionReturn) return TrBytes(QT_TRANSLATE_NOOP("Signer", "退回"));
  return decision;
}

}  // namespace

CDecisionView::CDecisionView(QWidget* parent) : CReportList(parent) {
  setObjectName(QStringLiteral("decisionList"));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void CDecisionView::OnInitialUpdate() {
  SetColumns({{QT_TRANSLATE_NOOP("Signer", "时间"), ColumnSize::kFit, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "决定"), ColumnSize::kFit, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "发送人"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "主题"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "原因"), ColumnSize::kShare, Qt::AlignLeft}});
}

void CDecisionView::Reload(const std::string& home) {
  clear();
  if (home.empty()) return;
  std::vector<tagDecision> decisions = ReadDecisions(home);
  std::reverse(decisions.begin(), decisions.end());
  const QIcon approved = QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton);
  const QIcon returned = QApplication::style()->standardIcon(QStyle::SP_ArrowBack);
  QList<QTreeWidgetItem*> rows;
  for (const tagDecision& decision : decisions)
    rows.append(MakeRow({decision.Time, DecisionText(decision.Decision), decision.Sender,
                         decision.Subject, decision.Reason},
                        decision.Decision == kDecisionApprove ? approved : returned));
  addTopLevelItems(rows);
}
