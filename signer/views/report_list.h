#pragma once

#include <QTreeWidget>
#include <initializer_list>
#include <string>
#include <vector>

enum class ColumnSize {
  kShare,  // the columns that share out the width the others leave
  kFit,    // as wide as its heading and its widest cell so far
  kHidden,
};

struct ListColumn {
  const char* heading;  // a source text, shown through Tr
  ColumnSize size;
  Qt::Alignment alignment;
};

// A list of rows with column headings that fill its width: full-row selection of one or more rows,
// selection shown even without the focus.
class CReportList : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CReportList(QWidget* parent = nullptr);

  int RowCount() const { return topLevelItemCount(); }
  // The text of a cell as bytes; empty for a row that does not exist.
  std::string CellText(int row, int column) const;
  // The selected rows, top first.
  std::vector<int> SelectedRows() const;

 protected:
  void SetColumns(std::initializer_list<ListColumn> columns);
  // Widens the fitting columns for the new rows only: a header that sized them to their contents
  // would measure a thousand rows at every insertion, which a large store makes slow.
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  // A row of texts (bytes; shown as UiText) with the image.
  QTreeWidgetItem* MakeRow(const std::vector<std::string>& texts, const QIcon& image) const;

 private:
  std::vector<int> m_fitColumns;
};

// The text when it is a task id, else empty: the id a list hands on is only ever a task's name.
std::string TaskIdOnly(const std::string& text);

// The local time now as the lists show it: "%Y-%m-%d %X".
std::string ListTimeNow();
// The local time at which the file was last written, as the lists show it; empty when it cannot be
// read.
std::string ListTimeOfFile(const std::string& path);
