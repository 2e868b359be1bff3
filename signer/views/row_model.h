#pragma once

#include <QAbstractTableModel>
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
