#include "views/queue_view.h"

#include "app/ui_text.h"
#include "views/list_images.h"

CQueueView::CQueueView(QWidget* parent) : CReportList(parent) {
  setObjectName(QStringLiteral("queueList"));
}

void CQueueView::OnInitialUpdate() {
  SetColumns({{QT_TRANSLATE_NOOP("Signer", "状态"), ColumnSize::kFit, Qt::AlignRight},
              {QT_TRANSLATE_NOOP("Signer", "发送人"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "主题"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "接收人"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "入队时间"), ColumnSize::kFit, Qt::AlignRight},
              {QT_TRANSLATE_NOOP("Signer", "任务编号"), ColumnSize::kHidden, Qt::AlignLeft}});
}

void CQueueView::AddRow(const std::string& from, const std::string& subject, const std::string& to,
                        const std::string& taskId, const std::string& queued) {
  AddRows({{from, subject, to, taskId, queued}});
}

void CQueueView::AddRows(const std::vector<tagQueueRow>& rows) {
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  const QIcon image = QueueRowImage();
  for (const tagQueueRow& row : rows) {
    QTreeWidgetItem* item =
        MakeRow({"", row.From, row.Subject, row.To, row.Queued, row.TaskId}, image);
    ShowStatus(item, kWaiting);
    items.append(item);
  }
  addTopLevelItems(items);
}

void CQueueView::ShowStatus(QTreeWidgetItem* item, const char* status) {
  item->setData(0, kStatusRole, QString::fromUtf8(status));
  item->setText(0, Tr(status));
}

std::string CQueueView::Status(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item == nullptr ? std::string() : Bytes(item->data(0, kStatusRole).toString());
}

void CQueueView::SetStatus(int row, const char* status) {
  if (QTreeWidgetItem* item = topLevelItem(row)) ShowStatus(item, status);
}

void CQueueView::SetReply(int row, const std::string& reply) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (item == nullptr) return;
  const QString tip = UiText(reply);
  for (int column = 0; column < columnCount(); ++column) item->setToolTip(column, tip);
}

std::string CQueueView::Reply(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item == nullptr ? std::string() : Bytes(item->toolTip(0));
}
