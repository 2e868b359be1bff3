#include "views/decision_view.h"

#include "store/task_lists.h"
#include "store/ui_text.h"
#include "views/decision_model.h"

CDecisionView::CDecisionView(CTaskLists& lists, QWidget* parent)
    : CReportList(parent),
      m_lists(lists),
      m_model(std::make_unique<CDecisionModel>(lists.Journal())) {
  setObjectName(QStringLiteral("decisionList"));
}

CDecisionView::~CDecisionView() { setModel(nullptr); }

void CDecisionView::OnInitialUpdate() {
  SetRowModel(m_model.get(),
              {ColumnSize::kFit, ColumnSize::kFit, ColumnSize::kShare, ColumnSize::kShare,
               ColumnSize::kShare, ColumnSize::kShare},
              {CDecisionModel::kSender, CDecisionModel::kRecipients, CDecisionModel::kSubject});
}

std::vector<tagDecision> CDecisionView::ShownDecisions() const {
  std::vector<tagDecision> shown;
  for (int row = 0; row < RowCount(); ++row) shown.push_back(m_model->At(ModelRow(row)));
  return shown;
}

std::vector<std::string> CDecisionView::Headings() const {
  std::vector<std::string> headings;
  for (int column = 0; column < m_model->columnCount(); ++column)
    headings.push_back(Bytes(m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()));
  return headings;
}

void CDecisionView::Reload(const std::string& home) { m_lists.ReloadJournal(home); }
