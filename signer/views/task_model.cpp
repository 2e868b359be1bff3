#include "views/task_model.h"

#include "store/ui_text.h"
#include "views/list_images.h"

CTaskModel::CTaskModel(CRowList<tagTaskRow>& rows, QObject* parent)
    : CRowModel({{QT_TRANSLATE_NOOP("Signer", "发送人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "接收人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "主题"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "到达时间"), Qt::AlignLeft},
                 {"MID", Qt::AlignLeft}},
                parent),
      m_rows(rows),
      m_image(TaskRowImage()) {
  m_rows.SetListener(this);
}

CTaskModel::~CTaskModel() { m_rows.SetListener(nullptr); }

int CTaskModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows.Count();
}

QVariant CTaskModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_rows.Count()) return {};
  const tagTaskRow& row = m_rows.At(index.row());
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kFrom:
          return UiText(row.From);
        case kTo:
          return UiText(row.To);
        case kSubject:
          return UiText(row.Subject);
        case kArrived:
          return UiText(row.Arrived);
        case kTaskId:
          return UiText(row.TaskId);
      }
      return {};
    case Qt::TextAlignmentRole:
      return Alignment(index.column());
    case Qt::DecorationRole:
      return index.column() == kFrom ? QVariant(m_image) : QVariant();
    case kTaskIdRole:
      return QString::fromStdString(row.TaskId);
  }
  return {};
}
