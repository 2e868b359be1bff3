#include "views/signer_view.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "reader/message_viewer.h"
#include "reader/reader_windows.h"
#include "store/client_settings.h"
#include "store/dialog_texts.h"
#include "store/task_lists.h"
#include "store/task_store.h"
#include "store/ui_text.h"
#include "views/task_model.h"
#include "views/text_input.h"
#include "views/wait_text.h"

namespace {

// How much of a task's subject the reader's window title is compared with.
constexpr std::size_t kTitleLength = 127;
// How long a started reader has to open its window before it is looked for.
constexpr int kReaderWindowDelayMs = 1000;
// The room a cell takes beside its text.
constexpr int kCellPadding = 16;
// How wide a subject the return reason dialog names.
constexpr int kAboutWidth = 480;

}  // namespace

CSignerView::CSignerView(CTaskLists& lists, QWidget* parent)
    : CReportList(parent),
      m_lists(lists),
      m_model(std::make_unique<CTaskModel>(lists.Tasks(), ReadClientSettings().oldAfterHours)) {
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
  SetRowModel(m_model.get(),
              {ColumnSize::kShare, ColumnSize::kShare, ColumnSize::kShare, ColumnSize::kFit,
               ColumnSize::kFit, ColumnSize::kHidden},
              {CTaskModel::kFrom, CTaskModel::kTo, CTaskModel::kSubject});
  // The waiting times change with the clock, not with the rows: room for the widest, in bold.
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  int waited = header()->sectionSize(CTaskModel::kWaited);
  for (const std::int64_t seconds : {std::int64_t{59} * 60, std::int64_t{47} * 3600,
                                     std::int64_t{999} * 86400})
    waited = std::max(waited, metrics.horizontalAdvance(WaitText(seconds)) + kCellPadding);
  header()->resizeSection(CTaskModel::kWaited, waited);
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
  m_strReaderTaskId = taskId;
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
    connect(m_viewer.get(), &CMessageViewer::Approve, this, [this] { DecideShown(true); });
    connect(m_viewer.get(), &CMessageViewer::Return, this, [this] { DecideShown(false); });
    m_viewer->SetDecisionsEnabled(m_bDecisionsAllowed);
  }
  const std::vector<int> selected = SelectedRows();
  const int row = selected.empty() ? -1 : selected.front();
  m_viewer->ShowMessage(m_strReaderFile, row > 0, row >= 0 && row + 1 < RowCount());
  m_viewer->show();
  m_viewer->raise();
  m_viewer->activateWindow();
}

bool CSignerView::ConfirmDecision(std::size_t count, bool approve) {
  const int limit = ReadClientSettings().confirmOver;
  if (limit == 0 || count <= static_cast<std::size_t>(limit)) return true;
  const QString question =
      approve ? Tr(QT_TRANSLATE_NOOP("Signer", "确实要签发选中的 %1 个任务吗？")).arg(count)
              : Tr(QT_TRANSLATE_NOOP("Signer", "确实要退回选中的 %1 个任务吗？")).arg(count);
  QMessageBox ask(QMessageBox::Question, Tr(res::text::kAppTitle), question,
                  QMessageBox::Yes | QMessageBox::No, this);
  ask.setObjectName(QStringLiteral("confirmDecision"));
  ask.setDefaultButton(QMessageBox::No);
  return ask.exec() == QMessageBox::Yes;
}

QString CSignerView::ReturnAbout(const std::vector<int>& rows) const {
  if (rows.size() != 1)
    return Tr(QT_TRANSLATE_NOOP("Signer", "退回选中的 %1 个任务")).arg(rows.size());
  const QString subject = RowIndex(rows.front(), CTaskModel::kSubject).data().toString();
  return Tr(QT_TRANSLATE_NOOP("Signer", "退回：%1"))
      .arg(fontMetrics().elidedText(subject, Qt::ElideRight, kAboutWidth));
}

void CSignerView::OnApprove() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty() || !ConfirmDecision(rows.size(), true)) return;
  const std::vector<std::string> taskIds = SelectedTaskIds();
  emit ApproveWanted(taskIds);
  SelectAfterDecisions(rows.front(), taskIds);
  if (m_bDecidingInViewer) ContinueInViewer(taskIds);
}

void CSignerView::OnReturn() {
  const std::vector<int> selected = SelectedRows();
  if (selected.empty() || !ConfirmDecision(selected.size(), false)) return;
  CTextInput input(ReturnAbout(selected), this);
  if (input.exec() != QDialog::Accepted) return;
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  const std::vector<std::string> taskIds = SelectedTaskIds();
  emit ReturnWanted(taskIds, input.m_strReason);
  SelectAfterDecisions(rows.front(), taskIds);
  if (m_bDecidingInViewer) ContinueInViewer(taskIds);
}

void CSignerView::ContinueInViewer(const std::vector<std::string>& decided) {
  // The viewer moves on to the task selected after the decision; with none left, or a task that
  // could not be decided, it stays closed. (A decision from the main window closes it.)
  const std::vector<int> selected = SelectedRows();
  const bool allDecided = std::all_of(decided.begin(), decided.end(),
                                      [this](const std::string& id) { return FindRow(id) < 0; });
  if (selected.empty() || !allDecided) return;
  SetReaderTask(TaskId(selected.front()));
  ShowInViewer();
}

void CSignerView::DecideShown(bool approve) {
  // The viewer's buttons act on the task it shows.
  const int row = FindRow(m_strReaderTaskId);
  if (row < 0) return;
  SelectRow(row);
  m_bDecidingInViewer = true;
  if (approve)
    OnApprove();
  else
    OnReturn();
  m_bDecidingInViewer = false;
}

void CSignerView::SetDecisionsAllowed(bool allowed) {
  m_bDecisionsAllowed = allowed;
  if (m_viewer) m_viewer->SetDecisionsEnabled(allowed);
}
