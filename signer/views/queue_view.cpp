#include "views/queue_view.h"

CQueueView::CQueueView(QWidget* parent) : CReportList(parent) {
  setObjectName(QStringLiteral("queueList"));
}

void CQueueView::OnInitialUpdate() {
  SetColumns({{"状态", 60, Qt::AlignRight},
              {"发送人", 300, Qt::AlignLeft},
              {"主题", 180, Qt::AlignLeft},
              {"接收人", 300, Qt::AlignLeft},
              {"入队时间", 130, Qt::AlignRight},
              {"任务编号", 0, Qt::AlignLeft}});
}
