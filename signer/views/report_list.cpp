#include "views/report_list.h"

#include <QHeaderView>
#include <algorithm>

#include "store/task_store.h"
#include "store/ui_text.h"
#include "views/row_model.h"

CReportList::CReportList(QWidget* parent) : QTreeView(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
}

void CReportList::SetRowModel(CRowModel* rows, std::initializer_list<ColumnSize> sizes,
                              std::vector<int> searched) {
  m_order.setSourceModel(rows);
  m_order.SetSearchColumns(std::move(searched));
  setModel(&m_order);
  // The model's own order until a heading is clicked.
  header()->setSortIndicator(-1, Qt::AscendingOrder);
  setSortingEnabled(true);
  header()->setSortIndicatorShown(true);
  int column = 0;
  for (const ColumnSize size : sizes) {
    if (size == ColumnSize::kFit) {
      header()->setSectionResizeMode(column, QHeaderView::Fixed);
      header()->resizeSection(column, header()->sectionSizeHint(column));
      m_fitColumns.push_back(column);
    } else {
      header()->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    setColumnHidden(column, size == ColumnSize::kHidden);
    ++column;
  }
}

void CReportList::rowsInserted(const QModelIndex& parent, int start, int end) {
  QTreeView::rowsInserted(parent, start, end);
  FitColumns(start, end);
}

void CReportList::reset() {
  QTreeView::reset();
  // The rows of a list read anew have texts of one width in these columns (times, decisions).
  constexpr int kMeasured = 200;
  if (model() != nullptr && model()->rowCount() > 0)
    FitColumns(0, std::min(model()->rowCount(), kMeasured) - 1);
}

void CReportList::FitColumns(int first, int last) {
  for (const int column : m_fitColumns) {
    int width = header()->sectionSize(column);
    for (int row = first; row <= last; ++row)
      width = std::max(width, sizeHintForIndex(model()->index(row, column)).width());
    if (width != header()->sectionSize(column)) header()->resizeSection(column, width);
  }
}

int CReportList::RowCount() const { return m_order.rowCount(); }

QModelIndex CReportList::RowIndex(int row, int column) const { return m_order.index(row, column); }

int CReportList::ModelRow(int row) const { return m_order.mapToSource(RowIndex(row)).row(); }

void CReportList::SetFindText(const QString& text) { m_order.SetText(text); }

std::string CReportList::CellText(int row, int column) const {
  const QModelIndex cell = RowIndex(row, column);
  return cell.isValid() ? Bytes(cell.data().toString()) : std::string();
}

std::vector<int> CReportList::SelectedRows() const {
  std::vector<int> rows;
  if (selectionModel() == nullptr) return rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::string CReportList::TaskId(int row) const {
  const QModelIndex cell = RowIndex(row);
  return cell.isValid() ? TaskIdOnly(cell.data(CRowModel::kTaskIdRole).toString().toStdString())
                        : std::string();
}

int CReportList::FindRow(const std::string& taskId) const {
  for (int row = 0; row < RowCount(); ++row)
    if (TaskId(row) == taskId) return row;
  return -1;
}

std::string TaskIdOnly(const std::string& text) { return IsTaskId(text) ? text : std::string(); }
