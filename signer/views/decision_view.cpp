#include "views/decision_view.h"

#include "views/decision_model.h"

CDecisionView::CDecisionView(QWidget* parent)
    : CReportList(parent), m_model(std::make_unique<CDecisionModel>()) {
  setObjectName(QStringLiteral("decisionList"));
}

CDecisionView::~CDecisionView() { setModel(nullptr); }

void CDecisionView::OnInitialUpdate() {
  SetRowModel(m_model.get(), {ColumnSize::kFit, ColumnSize::kFit, ColumnSize::kShare,
                              ColumnSize::kShare, ColumnSize::kShare});
}

void CDecisionView::Reload(const std::string& home) { m_model->Reload(home); }
