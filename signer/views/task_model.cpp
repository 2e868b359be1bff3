#include "views/task_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include "store/list_time.h"
#include "store/ui_text.h"
#include "views/list_images.h"
#include "views/wait_text.h"

namespace {

constexpr int kClockMs = 60 * 1000;

}  // namespace

CTaskModel::CTaskModel(CRowList<tagTaskRow>& rows, int oldAfterHours, QObject* parent)
    : CListModel({{QT_TRANSLATE_NOOP("Signer", "发送人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "接收人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "主题"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "到达时间"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "等待"), Qt::AlignRight},
                 {"MID", Qt::AlignLeft}},
                rows, parent),
      m_image(TaskRowImage()),
      m_nOldAfter(std::int64_t{oldAfterHours} * 3600),
      m_nNow(TimeNow()) {
  m_clock.setInterval(kClockMs);
  connect(&m_clock, &QTimer::timeout, this, [this] { SetNow(TimeNow()); });
  m_clock.start();
}

void CTaskModel::SetNow(std::int64_t now) {
  m_nNow = now;
  if (m_rows.Count() > 0)
    emit dataChanged(index(0, 0), index(m_rows.Count() - 1, columnCount() - 1),
                     {Qt::DisplayRole, Qt::ForegroundRole, Qt::FontRole, kSortRole});
}

QVariant CTaskModel::SortKey(const tagTaskRow& row, int column) const {
  return column == kWaited ? QVariant::fromValue<qlonglong>(m_nNow - row.ArrivedAt) : QVariant();
}

QVariant CTaskModel::RowData(const tagTaskRow& row, int column, int role) const {
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case kFrom:
          return UiText(row.From);
        case kTo:
          return UiText(row.To);
        case kSubject:
          return UiText(row.Subject);
        case kArrived:
          return UiText(row.Arrived);
        case kWaited:
          return WaitText(std::max<std::int64_t>(0, m_nNow - row.ArrivedAt));
        case kTaskId:
          return UiText(row.TaskId);
      }
      return {};
    case Qt::ForegroundRole:
    case Qt::FontRole: {
      if (m_nOldAfter == 0 || m_nNow - row.ArrivedAt <= m_nOldAfter) return {};
      if (role == Qt::ForegroundRole) return QBrush(QColor(0xB0, 0x00, 0x00));
      QFont bold;
      bold.setBold(true);
      return bold;
    }
    case Qt::DecorationRole:
      return column == kFrom ? QVariant(m_image) : QVariant();
  }
  return {};
}
