#include "views/report_list.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <algorithm>
#include <ctime>

#include "app/ui_text.h"
#include "platform/local_time.h"
#include "store/task_store.h"

CReportList::CReportList(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  header()->setStretchLastSection(false);
}

void CReportList::SetColumns(std::initializer_list<ListColumn> columns) {
  setColumnCount(static_cast<int>(columns.size()));
  int column = 0;
  for (const ListColumn& entry : columns) {
    headerItem()->setText(column, Tr(entry.heading));
    headerItem()->setTextAlignment(column, entry.alignment | Qt::AlignVCenter);
    if (entry.size == ColumnSize::kFit) {
      header()->setSectionResizeMode(column, QHeaderView::Fixed);
      header()->resizeSection(column, header()->sectionSizeHint(column));
      m_fitColumns.push_back(column);
    } else {
      header()->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    setColumnHidden(column, entry.size == ColumnSize::kHidden);
    ++column;
  }
}

void CReportList::rowsInserted(const QModelIndex& parent, int start, int end) {
  QTreeWidget::rowsInserted(parent, start, end);
  for (const int column : m_fitColumns) {
    int width = header()->sectionSize(column);
    for (int row = start; row <= end; ++row)
      width = std::max(width, sizeHintForIndex(model()->index(row, column, parent)).width());
    if (width != header()->sectionSize(column)) header()->resizeSection(column, width);
  }
}

QTreeWidgetItem* CReportList::MakeRow(const std::vector<std::string>& texts,
                                      const QIcon& image) const {
  auto* row = new QTreeWidgetItem;
  for (int column = 0; column < static_cast<int>(texts.size()); ++column) {
    row->setText(column, UiText(texts[column]));
    row->setTextAlignment(column, Qt::Alignment(headerItem()->textAlignment(column)));
  }
  row->setIcon(0, image);
  return row;
}

std::string CReportList::CellText(int row, int column) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? Bytes(item->text(column)) : std::string();
}

std::vector<int> CReportList::SelectedRows() const {
  std::vector<int> rows;
  for (QTreeWidgetItem* item : selectedItems()) rows.push_back(indexOfTopLevelItem(item));
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::string TaskIdOnly(const std::string& text) { return IsTaskId(text) ? text : std::string(); }

std::string ListTimeNow() {
  const std::tm now = platform::localTimeNow();
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %X", &now);
  return text;
}

std::string ListTimeOfFile(const std::string& path) {
  const QDateTime written =
      QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).lastModified();
  return written.isValid() ? written.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString()
                           : std::string();
}
