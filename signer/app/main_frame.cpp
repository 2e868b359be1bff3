#include "app/main_frame.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QWindow>
#include <memory>

#include "app/app_icons.h"
#include "app/resource.h"
#include "app/text_tool_bar.h"
#include "reader/window_placement.h"

namespace {

// A status-bar pane as wide as its first text, which it shows.
QLabel* MakePane(int stringId, QWidget* parent) {
  auto* pane = new QLabel(res::LoadString(stringId), parent);
  pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pane->setMinimumWidth(pane->sizeHint().width());
  return pane;
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_views(new QStackedWidget(this)) {
  setWindowIcon(SignerIcon());
  setCentralWidget(m_views);
  CreateMenus();
  CreateAccelerators();
  CreateToolBar();
  CreateStatusBar();
}

QAction* CMainFrame::Command(int id) const {
  const auto found = m_commands.find(id);
  return found == m_commands.end() ? nullptr : found->second;
}

void CMainFrame::ShowAt(const QRect& frame) {
  setGeometry(frame);
  show();
  setGeometry(frame.marginsRemoved(windowHandle()->frameMargins()));  // known once shown
}

void CMainFrame::AddView(QWidget* view) { m_views->addWidget(view); }

void CMainFrame::SetActiveView(QWidget* view) {
  m_views->setCurrentWidget(view);
  view->setFocus();
}

QWidget* CMainFrame::GetActiveView() const { return m_views->currentWidget(); }

void CMainFrame::CreateToolBar() {
  m_wndToolBar = new CTextToolBar(this);
  m_wndToolBar->setObjectName(QStringLiteral("toolbar"));
  m_wndToolBar->setAllowedAreas(Qt::RightToolBarArea);
  m_wndToolBar->LoadToolBar(res::ToolbarButtons(), [this](int id) { return EnsureCommand(id); });
  addToolBar(Qt::RightToolBarArea, m_wndToolBar);
}

void CMainFrame::CreateStatusBar() {
  // The idle text shows whenever no command prompt covers it.
  statusBar()->addWidget(new QLabel(res::LoadString(res::IDS_IDLE_MESSAGE)), 1);
  m_findBox = new QLineEdit(statusBar());
  m_findBox->setObjectName(QStringLiteral("find"));
  m_findBox->setPlaceholderText(res::CommandPrompt(res::ID_EDIT_FIND));
  m_findBox->setClearButtonEnabled(true);
  m_findBox->setMinimumWidth(m_findBox->fontMetrics().horizontalAdvance(m_findBox->placeholderText()) + 40);
  statusBar()->addPermanentWidget(m_findBox);
  connect(EnsureCommand(res::ID_EDIT_FIND), &QAction::triggered, m_findBox, [this] {
    m_findBox->setFocus();
    m_findBox->selectAll();
  });
  m_progressPane = MakePane(res::IDS_PROGRESS_PANE, statusBar());
  statusBar()->addPermanentWidget(m_progressPane);
  statusBar()->addPermanentWidget(MakePane(res::IDS_SPARE_PANE, statusBar()));
}

void CMainFrame::OnDownloadProgress(int current, int count) {
  const QString label = res::LoadString(res::IDS_PROGRESS_PANE).trimmed();
  m_progressPane->setText(QStringLiteral("%1%2/%3").arg(label).arg(current).arg(count));
  m_progressPane->repaint();
}

void CMainFrame::OnPlaceReader(WId window) {
  const std::unique_ptr<QWindow> reader(QWindow::fromWinId(window));
  if (!reader) return;
  reader->setGeometry(ReaderPlacement(screen()->geometry(), frameGeometry().top()));
}
