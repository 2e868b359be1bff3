#include "views/report_list.h"

#include <QHeaderView>

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
  for (const ListColumn& spec : columns) {
    headerItem()->setText(column, QString::fromUtf8(spec.heading));
    headerItem()->setTextAlignment(column, spec.alignment | Qt::AlignVCenter);
    setColumnWidth(column, spec.width);
    setColumnHidden(column, spec.width == 0);
    ++column;
  }
}
