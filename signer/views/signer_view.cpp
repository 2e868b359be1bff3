#include "views/signer_view.h"

#include <QTimer>

#include "app/signer_app.h"
#include "app/ui_text.h"
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
}

CSignerView::~CSignerView() { EndReader(); }

void CSignerView::OnInitialUpdate() {
  SetColumns({{"发送人", 280, Qt::AlignLeft},
              {"接收人", 300, Qt::AlignLeft},
              {"主题", 260, Qt::AlignLeft},
              {"发送时间", 130, Qt::AlignLeft},
              {"MID", 0, Qt::AlignLeft}});
}

void CSignerView::AddTaskRow(const std::string& from, const std::string& to,
                             const std::string& subject, const std::string& taskId) {
  insertTopLevelItem(0, MakeRow({from, to, subject, ListTimeNow(), taskId}, TaskRowImage()));
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
  m_bExplicitOpen = true;
  SetReaderTask(TaskId(selected.front()));
  OpenInReader();
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
  if (!m_reader.Open(m_strReaderFile)) return;
  QTimer::singleShot(kReaderWindowDelayMs, this,
                     [this, pid = m_reader.Pid(), title = m_strReaderTitle] {
                       for (const WId window : FindProcessWindows(pid, title))
                         emit PlaceReader(window);
                     });
}

void CSignerView::OnApprove() {
  std::vector<std::string> taskIds;
  for (const int row : SelectedRows()) taskIds.push_back(TaskId(row));
  for (const std::string& taskId : taskIds) m_app.ApproveTask(taskId);
}

void CSignerView::OnReturn() {
  CTextInput input(this);
  if (input.exec() != QDialog::Accepted) return;
  std::vector<std::string> taskIds;
  for (const int row : SelectedRows()) taskIds.push_back(TaskId(row));
  for (const std::string& taskId : taskIds) m_app.ReturnTask(taskId, input.m_strReason);
}
