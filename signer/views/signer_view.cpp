#include "views/signer_view.h"

#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "app/signer_app.h"
#include "app/ui_text.h"
#include "reader/message_viewer.h"
#include "reader/reader_windows.h"
#include "store/task_store.h"
#include "views/list_images.h"
#include "views/text_input.h"

namespace {

// How much of a task's subject the reader's window title is compared with.
constexpr std::size_t kTitleLength = 127;
// How long a started reader has to open its window before it is looked for.
constexpr int kReaderWindowDelayMs = 1000;

}  // namespace

CSignerView::CSignerView(CSignerApp& app, QWidget* parent) : CReportList(parent), m_app(app) {
  setObjectName(QStringLiteral("taskList"));
  connect(this, &QTreeWidget::itemDoubleClicked, this, &CSignerView::ReadSelected);
  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!m_bSelecting) m_bFollowArrivals = false;
  });
  m_arrivalSelection.setSingleShot(true);
  m_arrivalSelection.setInterval(0);
  connect(&m_arrivalSelection, &QTimer::timeout, this, &CSignerView::SelectArrival);
}

CSignerView::~CSignerView() { EndReader(); }

void CSignerView::EndReader() {
  m_reader.End();
  if (m_viewer) m_viewer->close();
}

bool CSignerView::ViewerShown() const { return m_viewer && m_viewer->isVisible(); }

void CSignerView::OnInitialUpdate() {
  SetColumns({{QT_TRANSLATE_NOOP("Signer", "发送人"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "接收人"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "主题"), ColumnSize::kShare, Qt::AlignLeft},
              {QT_TRANSLATE_NOOP("Signer", "到达时间"), ColumnSize::kFit, Qt::AlignLeft},
              {"MID", ColumnSize::kHidden, Qt::AlignLeft}});
}

void CSignerView::AddTaskRow(const std::string& from, const std::string& to,
                             const std::string& subject, const std::string& taskId,
                             const std::string& arrived) {
  AddTaskRows({{from, to, subject, taskId, arrived}});
}

void CSignerView::AddTaskRows(const std::vector<tagTaskRow>& rows) {
  if (rows.empty()) return;
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  const QIcon image = TaskRowImage();
  for (auto row = rows.rbegin(); row != rows.rend(); ++row)
    items.append(MakeRow({row->From, row->To, row->Subject, row->Arrived, row->TaskId}, image));
  m_bSelecting = true;  // an insertion reports the selection as changed; it is not the user's
  insertTopLevelItems(0, items);
  m_bSelecting = false;
  m_arrivalSelection.start();
}

void CSignerView::SelectArrival() {
  // With nothing selected, the newest task is selected, and stays so as more arrive until the
  // supervisor selects or reads one.
  if (RowCount() == 0 || !(m_bFollowArrivals || selectedItems().isEmpty())) return;
  SelectRow(0);
  m_bFollowArrivals = true;
}

void CSignerView::SelectRow(int row) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return;
  m_bSelecting = true;
  clearSelection();
  item->setSelected(true);
  setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
  // The top needs no layout of the rows to be reached; arrivals select it one after another.
  if (row == 0)
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
  else
    scrollToItem(item);
  m_bSelecting = false;
}

void CSignerView::SelectAfterDecisions(int firstRow, bool allDecided) {
  // A task that could not be decided stays selected, so that the supervisor sees which one.
  if (!allDecided || RowCount() == 0) return;
  SelectRow(std::min(firstRow, RowCount() - 1));
}

int CSignerView::FindRow(const std::string& taskId) const {
  for (int row = 0; row < RowCount(); ++row)
    if (TaskId(row) == taskId) return row;
  return -1;
}

void CSignerView::DeleteRow(int row) { delete takeTopLevelItem(row); }

void CSignerView::ReadSelected() {
  const std::vector<int> selected = SelectedRows();
  if (selected.empty()) return;
  m_bFollowArrivals = false;
  m_bExplicitOpen = true;
  SetReaderTask(TaskId(selected.front()));
  OpenInReader();
}

void CSignerView::ReadSelectedInViewer() {
  const std::vector<int> selected = SelectedRows();
  if (selected.empty()) return;
  m_bFollowArrivals = false;
  SetReaderTask(TaskId(selected.front()));
  m_reader.End();
  ShowInViewer();
}

void CSignerView::SelectPrevious() { MoveSelection(-1); }

void CSignerView::SelectNext() { MoveSelection(1); }

void CSignerView::MoveSelection(int step) {
  const std::vector<int> selected = SelectedRows();
  if (selected.empty()) return;
  const int target = selected.front() + step;
  if (target < 0 || target >= RowCount()) return;
  topLevelItem(selected.front())->setSelected(false);
  QTreeWidgetItem* row = topLevelItem(target);
  row->setSelected(true);
  setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
  m_bExplicitOpen = false;
  SetReaderTask(TaskId(target));
  OpenInReader();
  scrollToItem(row);
}

void CSignerView::SetReaderTask(const std::string& taskId) {
  const std::string home = HomeDirectory(m_app.UserName());
  m_strReaderTitle = UiText(ReadTaskHead(TaskHeadPath(home, taskId), kTitleLength).Subject);
  m_strReaderFile = TaskMessagePath(home, taskId);
}

void CSignerView::OpenInReader() {
  if (!m_bExplicitOpen && ViewerShown()) {
    ShowInViewer();
    return;
  }
  if (m_bExplicitOpen) {
    OpenTaskInReader();
    return;
  }
  unsigned long code = 0;
  if (!m_reader.HasProcess())
    m_bReaderClosed = true;
  else if (m_reader.ExitCode(code))
    m_bReaderClosed = code != platform::kStillActive;
  if (!m_bReaderClosed) OpenTaskInReader();
}

void CSignerView::OpenTaskInReader() {
  if (!m_reader.Open(m_strReaderFile)) {
    ShowInViewer();
    return;
  }
  if (m_viewer) m_viewer->close();
  QTimer::singleShot(kReaderWindowDelayMs, this,
                     [this, pid = m_reader.Pid(), title = m_strReaderTitle] {
                       for (const WId window : FindProcessWindows(pid, title))
                         emit PlaceReader(window);
                     });
}

void CSignerView::ShowInViewer() {
  if (!m_viewer) {
    m_viewer = std::make_unique<CMessageViewer>(this);
    connect(m_viewer.get(), &CMessageViewer::Previous, this, &CSignerView::SelectPrevious);
    connect(m_viewer.get(), &CMessageViewer::Next, this, &CSignerView::SelectNext);
  }
  const std::vector<int> selected = SelectedRows();
  const int row = selected.empty() ? -1 : selected.front();
  m_viewer->ShowMessage(m_strReaderFile, row > 0, row >= 0 && row + 1 < RowCount());
  m_viewer->show();
  m_viewer->raise();
  m_viewer->activateWindow();
}

void CSignerView::OnApprove() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  std::vector<std::string> taskIds;
  for (const int row : rows) taskIds.push_back(TaskId(row));
  bool allDecided = true;
  for (const std::string& taskId : taskIds) allDecided = m_app.ApproveTask(taskId) && allDecided;
  SelectAfterDecisions(rows.front(), allDecided);
}

void CSignerView::OnReturn() {
  CTextInput input(this);
  if (input.exec() != QDialog::Accepted) return;
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  std::vector<std::string> taskIds;
  for (const int row : rows) taskIds.push_back(TaskId(row));
  bool allDecided = true;
  for (const std::string& taskId : taskIds)
    allDecided = m_app.ReturnTask(taskId, input.m_strReason) && allDecided;
  SelectAfterDecisions(rows.front(), allDecided);
}
