#pragma once

#include <QTreeWidget>
#include <initializer_list>

struct ListColumn {
  const char* heading;
  int width;  // 0 hides the column
  Qt::Alignment alignment;
};

// A list of rows with column headings: full-row selection of one or more rows, selection shown even
// without the focus.
class CReportList : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CReportList(QWidget* parent = nullptr);

 protected:
  void SetColumns(std::initializer_list<ListColumn> columns);
};
