#include "views/list_filter.h"

#include "views/row_model.h"

CListFilter::CListFilter(QObject* parent) : QSortFilterProxyModel(parent) {
  setSortRole(CRowModel::kSortRole);
  setSortCaseSensitivity(Qt::CaseInsensitive);
}

void CListFilter::SetText(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed == m_text) return;
  m_text = trimmed;
  invalidateRowsFilter();
}

bool CListFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (m_text.isEmpty()) return true;
  const QAbstractItemModel* rows = sourceModel();
  for (const int column : m_searchColumns)
    if (rows->index(sourceRow, column, sourceParent)
            .data()
            .toString()
            .contains(m_text, Qt::CaseInsensitive))
      return true;
  return false;
}
