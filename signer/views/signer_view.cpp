#include "views/signer_view.h"

#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "reader/message_viewer.h"
#include "reader/reader_windows.h"
#include "store/task_lists.h"
#include "store/task_store.h"
#include "store/ui_text.h"
#include "views/task_model.h"
#include "views/text_input.h"

namespace {

// How much of a task's subject the reader's window title is compared with.
constexpr std::size_t kTitleLength = 127;
// How long a started reader has to open its window before it is looked for.
constexpr int kReaderWindowDelayMs = 1000;

}  // namespace

CSignerView::CSignerView(CTaskLists& lists, QWidget* parent)
    : CReportList(parent), m_lists(lists), m_model(std::make_unique<CTaskModel>(lists.Tasks())) {
  setObjectName(QStringLiteral("taskList"));
  connect(this, &QAbstractItemView::doubleClicked, this, &CSignerView::ReadSelected);
  m_arrivalSelection.setSingleShot(true);
  m_arrivalSelection.setInterval(0);
  connect(&m_arrivalSelection, &QTimer::timeout, this, &CSignerView::SelectArrival);
}

CSignerView::~CSignerView() {
  EndReader();
  setModel(nullptr);
}

void CSignerView::EndReader() {
  m_reader.End();
  if (m_viewer) m_viewer->close();
}

bool CSignerView::ViewerShown() const { return m_viewer && m_viewer->isVisible(); }

void CSignerView::OnInitialUpdate() {
  SetRowModel(m_model.get(), {ColumnSize::kShare, ColumnSize::kShare, ColumnSize::kShare,
                              ColumnSize::kFit, ColumnSize::kHidden});
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!m_bSelecting && !SelectsOnlyTheFollowedTask()) m_bFollowArrivals = false;
  });
  // The rows of a burst of arrivals are all in by the time the selection moves.
  connect(model(), &QAbstractItemModel::rowsInserted, this, [this] { m_arrivalSelection.start(); });
}

bool CSignerView::SelectsOnlyTheFollowedTask() const {
  // Rows inserted above the selection move it, and may report it as changed: it is not the user's.
  const QModelIndexList rows = selectionModel()->selectedRows();
  return m_followed.isValid() && rows.size() == 1 && rows.front().row() == m_followed.row();
}

void CSignerView::SelectArrival() {
  // With nothing selected, the newest task is selected, and stays so as more arrive until the
  // supervisor selects or reads one.
  if (RowCount() == 0 || !(m_bFollowArrivals || !selectionModel()->hasSelection())) return;
  SelectRow(0);
  m_followed = RowIndex(0);
  m_bFollowArrivals = true;
}

void CSignerView::SelectRow(int row) {
  const QModelIndex index = RowIndex(row);
  if (!index.isValid()) return;
  m_bSelecting = true;
  selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  // The top needs no layout of the rows to be reached; arrivals select it one after another.
  if (row == 0)
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
  else
    scrollTo(index);
  m_bSelecting = false;
}

void CSignerView::SelectAfterDecisions(int firstRow, const std::vector<std::string>& taskIds) {
  // A task that could not be decided stays selected, so that the supervisor sees which one.
  const bool allDecided = std::all_of(taskIds.begin(), taskIds.end(),
                                      [this](const std::string& id) { return FindRow(id) < 0; });
  if (!allDecided || RowCount() == 0) return;
  SelectRow(std::min(firstRow, RowCount() - 1));
}

std::vector<std::string> CSignerView::SelectedTaskIds() const {
  std::vector<std::string> taskIds;
  for (const int row : SelectedRows()) taskIds.push_back(TaskId(row));
  return taskIds;
}

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
  const QModelIndex row = RowIndex(target);
  selectionModel()->select(RowIndex(selected.front()),
                           QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
  m_bExplicitOpen = false;
  SetReaderTask(TaskId(target));
  OpenInReader();
  scrollTo(row);
}

void CSignerView::SetReaderTask(const std::string& taskId) {
  const std::string home = HomeDirectory(m_lists.User());
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
  const std::vector<std::string> taskIds = SelectedTaskIds();
  emit ApproveWanted(taskIds);
  SelectAfterDecisions(rows.front(), taskIds);
}

void CSignerView::OnReturn() {
  CTextInput input(this);
  if (input.exec() != QDialog::Accepted) return;
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  const std::vector<std::string> taskIds = SelectedTaskIds();
  emit ReturnWanted(taskIds, input.m_strReason);
  SelectAfterDecisions(rows.front(), taskIds);
}
