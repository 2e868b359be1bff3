#pragma once

#include <QSortFilterProxyModel>
#include <vector>

// The order and the filter of a list: the rows sorted by the column chosen (by the models' sort
// keys), or in the model's own order; with a filter text, only the rows whose searched columns
// contain it, whatever the case.
class CListFilter : public QSortFilterProxyModel {
 public:
  explicit CListFilter(QObject* parent = nullptr);

  void SetSearchColumns(std::vector<int> columns) { m_searchColumns = std::move(columns); }
  void SetText(const QString& text);

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  std::vector<int> m_searchColumns;
  QString m_text;
};
