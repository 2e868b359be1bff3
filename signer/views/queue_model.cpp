#include "views/queue_model.h"

#include "store/ui_text.h"
#include "views/decision_word.h"
#include "views/list_images.h"

CQueueModel::CQueueModel(CRowList<tagQueueRow>& rows, QObject* parent)
    : CListModel({{QT_TRANSLATE_NOOP("Signer", "状态"), Qt::AlignRight},
                 {QT_TRANSLATE_NOOP("Signer", "发送人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "主题"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "接收人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "入队时间"), Qt::AlignRight},
                 {QT_TRANSLATE_NOOP("Signer", "决定"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "任务编号"), Qt::AlignLeft}},
                rows, parent),
      m_image(QueueRowImage()) {}

QVariant CQueueModel::RowData(const tagQueueRow& row, int column, int role) const {
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
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
        case kDecision:
          return DecisionWord(row.Decision);
        case kTaskId:
          return UiText(row.TaskId);
      }
      return {};
    case Qt::DecorationRole:
      return column == kStatus ? QVariant(m_image) : QVariant();
    case Qt::ToolTipRole:
      return row.Reply.empty() ? QVariant() : QVariant(UiText(row.Reply));
    case kStatusRole:
      return static_cast<int>(row.Status);
  }
  return {};
}
