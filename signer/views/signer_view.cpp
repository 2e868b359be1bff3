#include "views/signer_view.h"

CSignerView::CSignerView(QWidget* parent) : CReportList(parent) {
  setObjectName(QStringLiteral("taskList"));
}

void CSignerView::OnInitialUpdate() {
  SetColumns({{"发送人", 280, Qt::AlignLeft},
              {"接收人", 300, Qt::AlignLeft},
              {"主题", 260, Qt::AlignLeft},
              {"发送时间", 130, Qt::AlignLeft},
              {"MID", 0, Qt::AlignLeft}});
}
