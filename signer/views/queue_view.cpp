#include "views/queue_view.h"

#include "store/ui_text.h"
#include "views/queue_model.h"

CQueueView::CQueueView(CRowList<tagQueueRow>& rows, QWidget* parent)
    : CReportList(parent), m_model(std::make_unique<CQueueModel>(rows)) {
  setObjectName(QStringLiteral("queueList"));
}

CQueueView::~CQueueView() { setModel(nullptr); }

void CQueueView::OnInitialUpdate() {
  SetRowModel(m_model.get(),
              {ColumnSize::kFit, ColumnSize::kShare, ColumnSize::kShare, ColumnSize::kShare,
               ColumnSize::kFit, ColumnSize::kFit, ColumnSize::kHidden},
              {CQueueModel::kFrom, CQueueModel::kSubject, CQueueModel::kTo});
}

SendStatus CQueueView::Status(int row) const {
  return static_cast<SendStatus>(RowIndex(row).data(CQueueModel::kStatusRole).toInt());
}

std::string CQueueView::Reply(int row) const {
  return Bytes(RowIndex(row).data(Qt::ToolTipRole).toString());
}
