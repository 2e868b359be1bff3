#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "store/row_list.h"

// A column of a list: its heading (a source text, shown through Tr) and how its texts align.
struct tagModelColumn {
  const char* heading;
  Qt::Alignment alignment;
};

// The table model over one row list: its headings, and the list's changes announced to the views.
// Every role but the display text, alignment and heading is the subclass's.
class CRowModel : public QAbstractTableModel, public IRowListener {
 public:
  // The task id of a row (a QString), in every list.
  static constexpr int kTaskIdRole = Qt::UserRole + 1;
  // What a column sorts by; its text unless the model says otherwise.
  static constexpr int kSortRole = Qt::UserRole + 2;

  CRowModel(std::vector<tagModelColumn> columns, QObject* parent);

  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void RowsInserting(int first, int last) override;
  void RowsInserted() override;
  void RowsRemoving(int first, int last) override;
  void RowsRemoved() override;
  void RowsResetting() override;
  void RowsReset() override;
  void RowChanged(int row) override;

 protected:
  // The column's alignment for Qt::TextAlignmentRole.
  QVariant Alignment(int column) const;

 private:
  const std::vector<tagModelColumn> m_columns;
};

// The model of one list of rows: it hears the list's changes, counts its rows and answers the roles
// every list shares; the subclass gives the cells (RowData) and, where a column does not sort by
// its text, the sort key.
template <class Row>
class CListModel : public CRowModel {
 public:
  CListModel(std::vector<tagModelColumn> columns, CRowList<Row>& rows, QObject* parent)
      : CRowModel(std::move(columns), parent), m_rows(rows) {
    m_rows.SetListener(this);
  }
  ~CListModel() override { m_rows.SetListener(nullptr); }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : m_rows.Count();
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= m_rows.Count()) return {};
    const Row& row = m_rows.At(index.row());
    switch (role) {
      case Qt::TextAlignmentRole:
        return Alignment(index.column());
      case kTaskIdRole:
        return QString::fromStdString(row.TaskId);
      case kSortRole: {
        QVariant key = SortKey(row, index.column());
        return key.isValid() ? key : RowData(row, index.column(), Qt::DisplayRole);
      }
    }
    return RowData(row, index.column(), role);
  }

 protected:
  virtual QVariant RowData(const Row& row, int column, int role) const = 0;
  virtual QVariant SortKey(const Row& /*row*/, int /*column*/) const { return {}; }

  CRowList<Row>& m_rows;
};
