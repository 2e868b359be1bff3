#pragma once

#include <QTreeView>
#include <initializer_list>
#include <string>
#include <vector>

#include "views/list_filter.h"

class CRowModel;

enum class ColumnSize {
  kShare,  // the columns that share out the width the others leave
  kFit,    // as wide as its heading and its widest cell so far
  kHidden,
};

// A list of rows with column headings that fill its width: full-row selection of one or more rows,
// selection shown even without the focus. It shows a row model in the model's order until a
// heading is clicked, which sorts by that column; a find text shows only the rows that hold it in
// their searched columns. Row numbers are the list's, as shown.
class CReportList : public QTreeView {
  Q_OBJECT
 public:
  explicit CReportList(QWidget* parent = nullptr);

  int RowCount() const;
  // The text of a cell as bytes; empty for a row that does not exist.
  std::string CellText(int row, int column) const;
  // The selected rows, top first.
  std::vector<int> SelectedRows() const;
  // The row's task id; empty when the row holds none.
  std::string TaskId(int row) const;
  // The first row of the task; -1 when there is none.
  int FindRow(const std::string& taskId) const;
  // The index of the row's cell in the list's model.
  QModelIndex RowIndex(int row, int column = 0) const;
  // The row of the row model that the list shows at row.
  int ModelRow(int row) const;
  // Shows only the rows whose searched columns contain the text, whatever the case; empty shows all.
  void SetFindText(const QString& text);

 protected:
  // Shows the model with the columns sized as given, one size per column; the find text is looked
  // for in the searched columns.
  void SetRowModel(CRowModel* rows, std::initializer_list<ColumnSize> sizes,
                   std::vector<int> searched);
  // Widens the fitting columns for the new rows only: a header that sized them to their contents
  // would measure a thousand rows at every insertion, which a large store makes slow.
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  // The same for a list read anew, over its first rows.
  void reset() override;

 private:
  void FitColumns(int first, int last);

  CListFilter m_order;
  std::vector<int> m_fitColumns;
};

// The text when it is a task id, else empty: the id a list hands on is only ever a task's name.
std::string TaskIdOnly(const std::string& text);
