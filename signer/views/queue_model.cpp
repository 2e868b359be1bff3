#include "views/queue_model.h"

#include "store/ui_text.h"
#include "views/list_images.h"

CQueueModel::CQueueModel(CRowList<tagQueueRow>& rows, QObject* parent)
    : CRowModel({{QT_TRANSLATE_NOOP("Signer", "状态"), Qt::AlignRight},
                 {QT_TRANSLATE_NOOP("Signer", "发送人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "主题"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "接收人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "入队时间"), Qt::AlignRight},
                 {QT_TRANSLATE_NOOP("Signer", "任务编号"), Qt::AlignLeft}},
                parent),
      m_rows(rows),
      m_image(QueueRowImage()) {
  m_rows.SetListener(this);
}

CQueueModel::~CQueueModel() { m_rows.SetListener(nullptr); }

int CQueueModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows.Count();
}

QVariant CQueueModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_rows.Count()) return {};
  const tagQueueRow& row = m_rows.At(index.row());
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kStatus:
          return Tr(SendStatusText(row.Status));
        case kFrom:
          return UiText(row.From);
        case kSubject:
          return UiText(row.Subject);
        case kTo:
          return UiText(row.To);
        case kQueued:
          return UiText(row.Queued);
        case kTaskId:
          return UiText(row.TaskId);
      }
      return {};
    case Qt::TextAlignmentRole:
      return Alignment(index.column());
    case Qt::DecorationRole:
      return index.column() == kStatus ? QVariant(m_image) : QVariant();
    case Qt::ToolTipRole:
      return row.Reply.empty() ? QVariant() : QVariant(UiText(row.Reply));
    case kTaskIdRole:
      return QString::fromStdString(row.TaskId);
    case kStatusRole:
      return static_cast<int>(row.Status);
  }
  return {};
}
