#include "views/row_model.h"

#include "store/ui_text.h"

CRowModel::CRowModel(std::vector<tagModelColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns)) {}

int CRowModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const tagModelColumn& column = m_columns[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole) return Tr(column.heading);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
  return {};
}

QVariant CRowModel::Alignment(int column) const {
  return QVariant::fromValue(m_columns[static_cast<std::size_t>(column)].alignment |
                             Qt::AlignVCenter);
}

void CRowModel::RowsInserting(int first, int last) { beginInsertRows({}, first, last); }
void CRowModel::RowsInserted() { endInsertRows(); }
void CRowModel::RowsRemoving(int first, int last) { beginRemoveRows({}, first, last); }
void CRowModel::RowsRemoved() { endRemoveRows(); }
void CRowModel::RowsResetting() { beginResetModel(); }
void CRowModel::RowsReset() { endResetModel(); }

void CRowModel::RowChanged(int row) {
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}
