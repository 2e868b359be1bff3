#include "app/signer_app.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QThread>

#include "app/about_dlg.h"
#include "app/held_mail_notice.h"
#include "app/main_frame.h"
#include "app/resource.h"
#include "login/login_prompt.h"
#include "mailbox/check_mailbox.h"
#include "queue/send_driver.h"
#include "reader/window_placement.h"
#include "store/client_settings.h"
#include "store/journal_csv.h"
#include "store/login_settings.h"
#include "store/task_store.h"
#include "store/ui_text.h"
#include "views/decision_view.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace {

// How long exit waits for the workers to finish what they are doing.
constexpr std::chrono::milliseconds kExitPatience(1500);

}  // namespace

CSignerApp::CSignerApp(const tagSignerOptions& options) : m_options(options) {}

CSignerApp::~CSignerApp() {
  if (m_pLoginPrompt) m_pLoginPrompt->Close();
  StopWorkers(std::chrono::milliseconds::max());
}

bool CSignerApp::InitInstance() {
  m_pMainWnd = std::make_unique<CMainFrame>();
  connect(m_pMainWnd->Command(res::ID_APP_ABOUT), &QAction::triggered, this,
          &CSignerApp::OnAppAbout);
  connect(m_pMainWnd->Command(res::ID_VIEW_SWITCH), &QAction::triggered, this,
          &CSignerApp::OnViewSwitch);
  connect(m_pMainWnd->Command(res::ID_REFRESH), &QAction::triggered, this,
          &CSignerApp::PostCheckMailBox);
  connect(m_pMainWnd->Command(res::ID_VIEW_DECISIONS), &QAction::triggered, this,
          &CSignerApp::OnShowDecisions);
  connect(m_pMainWnd->Command(res::ID_FILE_LOGIN), &QAction::triggered, this,
          &CSignerApp::PostChangeLogin);
  connect(m_pMainWnd->Command(res::ID_FILE_EXPORT), &QAction::triggered, this,
          &CSignerApp::OnExportDecisions);
  connect(this, &CSignerApp::DownloadProgress, m_pMainWnd.get(), &CMainFrame::OnDownloadProgress);

  m_pTaskView = new CSignerView(m_lists);
  m_pMainWnd->AddView(m_pTaskView);
  m_pTaskView->OnInitialUpdate();
  m_pMainWnd->SetActiveView(m_pTaskView);
  ConnectTaskCommands();
  connect(m_pTaskView, &CSignerView::PlaceReader, m_pMainWnd.get(), &CMainFrame::OnPlaceReader);
  connect(m_pTaskView, &CSignerView::ApproveWanted, this, &CSignerApp::ApproveTasks);
  connect(m_pTaskView, &CSignerView::ReturnWanted, this, &CSignerApp::ReturnTasks);

  m_pQueueView = new CQueueView(m_lists.Queue());
  m_pMainWnd->AddView(m_pQueueView);
  m_pQueueView->OnInitialUpdate();
  m_pDecisionView = new CDecisionView(m_lists);
  m_pMainWnd->AddView(m_pDecisionView);
  m_pDecisionView->OnInitialUpdate();
  // One find text for the three lists.
  connect(m_pMainWnd->FindBox(), &QLineEdit::textChanged, this, [this](const QString& text) {
    for (CReportList* list : {static_cast<CReportList*>(m_pTaskView),
                              static_cast<CReportList*>(m_pQueueView),
                              static_cast<CReportList*>(m_pDecisionView)})
      list->SetFindText(text);
  });
  for (const auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(m_pTaskView->model(), change, this, &CSignerApp::ShowPendingCount);
  connect(m_pTaskView->model(), &QAbstractItemModel::modelReset, this,
          &CSignerApp::ShowPendingCount);
  m_pNotice = std::make_unique<CHeldMailNotice>();

  m_pMainWnd->ShowAt(MainFramePlacement(QGuiApplication::primaryScreen()->geometry()));
  m_pMainWnd->repaint();
  SetMainTitle("");

  UpdateCommands();

  m_pLoginPrompt = std::make_unique<CLoginPrompt>();
  connect(&m_pLoginPrompt->Dialog(), &CLogin::AccountEntered, this, &CSignerApp::SetAccount);
  StartCheckMailBox();
  // The tasks of the last user are listed before the password is typed; deciding waits for it.
  const std::string lastUser = ReadLoginSettings().userName;
  if (!lastUser.empty()) PostShowStore(lastUser);
  StartSendDriver();
  if (m_options.m_bCheckAtStart) PostCheckMailBox();
  return true;
}

void CSignerApp::ConnectTaskCommands() {
  const std::pair<int, void (CSignerView::*)()> commands[] = {
      {res::ID_TASK_READ, &CSignerView::ReadSelected},
      {res::ID_TASK_PREV, &CSignerView::SelectPrevious},
      {res::ID_TASK_NEXT, &CSignerView::SelectNext},
      {res::ID_TASK_APPROVE, &CSignerView::OnApprove},
      {res::ID_TASK_RETURN, &CSignerView::OnReturn}};
  for (const auto& [id, handler] : commands)
    connect(m_pMainWnd->Command(id), &QAction::triggered, m_pTaskView, handler);
}

bool CSignerApp::ExitInstance() {
  if (m_pLoginPrompt) m_pLoginPrompt->Close();
  return StopWorkers(kExitPatience);
}

bool CSignerApp::StopWorkers(std::chrono::milliseconds patience) {
  using Clock = std::chrono::steady_clock;
  const bool unbounded = patience == std::chrono::milliseconds::max();
  const Clock::time_point start = Clock::now();
  // The driver first: it asks the mailbox check worker for checks.
  if (m_pSendDriver && !m_pSendDriver->Stop(patience)) return false;
  m_pSendDriver.reset();
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return StopCheckMailBox(unbounded ? patience
                                    : std::max(patience - spent, std::chrono::milliseconds(0)));
}

void CSignerApp::StartCheckMailBox() {
  m_checkThread = std::make_unique<QThread>();
  m_checkThread->setObjectName(QStringLiteral("CheckMailBox"));
  m_pCheckMailBox = std::make_unique<CCheckMailBox>([prompt = m_pLoginPrompt.get()](
                                                        tagLoginEntry& entry) {
    return prompt->DoModal(entry) == QDialog::Accepted;
  });
  m_pCheckMailBox->moveToThread(m_checkThread.get());
  // The worker reports; the window changes here, on the GUI thread, in the order of the reports.
  CCheckMailBox* worker = m_pCheckMailBox.get();
  connect(worker, &CCheckMailBox::CheckReported, this,
          [this](const std::string& text) { SetStatus(TitleSource::kCheck, text); });
  connect(worker, &CCheckMailBox::OnlineChanged, this, &CSignerApp::SetOnline);
  connect(worker, &CCheckMailBox::DownloadProgress, this, &CSignerApp::DownloadProgress);
  connect(worker, &CCheckMailBox::ListsReset, this, &CSignerApp::ResetLists);
  connect(worker, &CCheckMailBox::TasksListed, this,
          [this](const std::vector<tagTaskRow>& rows) { m_lists.AddTasks(rows); });
  connect(worker, &CCheckMailBox::TasksArrived, this, &CSignerApp::OnTasksArrived);
  connect(worker, &CCheckMailBox::QueuedListed, this,
          [this](const std::vector<tagQueueRow>& rows) { m_lists.AddQueued(rows); });
  m_checkThread->start();
}

void CSignerApp::StartSendDriver() {
  m_pSendDriver = std::make_unique<CSendDriver>([this] { return Account(); }, m_lists,
                                                m_options.m_driverPeriod);
  // The driver reports from its thread; the window changes here, on the GUI thread.
  CSendDriver* driver = m_pSendDriver.get();
  connect(driver, &CSendDriver::CheckWanted, this, &CSignerApp::PostCheckMailBox);
  connect(driver, &CSendDriver::StatusReported, this,
          [this](const std::string& text) { SetStatus(TitleSource::kSend, text); });
  connect(driver, &CSendDriver::SendStatusReported, this,
          [this](std::uint64_t generation, const std::string& taskId, SendStatus status,
                 const std::string& reply) {
            m_lists.SetSendStatus(generation, taskId, status, reply);
          });
  driver->SetOnline(m_bOnline);
  driver->Start();
}

bool CSignerApp::StopCheckMailBox(std::chrono::milliseconds patience) {
  if (!m_checkThread) return true;
  m_pCheckMailBox->RequestStop();
  m_checkThread->quit();
  const bool stopped = patience == std::chrono::milliseconds::max()
                           ? m_checkThread->wait()
                           : m_checkThread->wait(QDeadlineTimer(patience.count()));
  if (stopped) {
    m_pCheckMailBox.reset();
    m_checkThread.reset();
  }
  return stopped;
}

void CSignerApp::PostCheckMailBox() {
  if (!m_pCheckMailBox) return;  // stopped at exit
  QMetaObject::invokeMethod(m_pCheckMailBox.get(), &CCheckMailBox::OnCheckMailBox,
                            Qt::QueuedConnection);
}

void CSignerApp::PostChangeLogin() {
  if (!m_pCheckMailBox) return;
  QMetaObject::invokeMethod(m_pCheckMailBox.get(), &CCheckMailBox::OnChangeLogin,
                            Qt::QueuedConnection);
}

void CSignerApp::PostShowStore(const std::string& user) {
  if (!m_pCheckMailBox) return;
  QMetaObject::invokeMethod(
      m_pCheckMailBox.get(), [worker = m_pCheckMailBox.get(), user] { worker->ShowStore(user); },
      Qt::QueuedConnection);
}

void CSignerApp::ResetLists(const std::string& user, bool clear) {
  if (clear) m_pTaskView->EndReader();
  m_lists.Reset(user, clear);
  UpdateCommands();
}

void CSignerApp::SetOnline(bool online) {
  m_bOnline = online;
  if (m_pSendDriver) m_pSendDriver->SetOnline(online);
  QMetaObject::invokeMethod(this, &CSignerApp::UpdateCommands, Qt::AutoConnection);
}

bool CSignerApp::CanDecide() const {
  const std::string listed = m_lists.User();
  const std::lock_guard lock(m_accountLock);
  return m_bOnline && !listed.empty() && listed == m_account.m_strUserName;
}

void CSignerApp::UpdateCommands() {
  if (!m_pMainWnd) return;
  const bool taskList = m_pMainWnd->GetActiveView() == m_pTaskView;
  for (const int id : {res::ID_TASK_READ, res::ID_TASK_PREV, res::ID_TASK_NEXT})
    m_pMainWnd->Command(id)->setEnabled(taskList);
  const bool decide = taskList && CanDecide();
  for (const int id : {res::ID_TASK_APPROVE, res::ID_TASK_RETURN})
    m_pMainWnd->Command(id)->setEnabled(decide);
  m_pTaskView->SetDecisionsAllowed(CanDecide());
  m_pMainWnd->Command(res::ID_FILE_EXPORT)->setEnabled(m_pMainWnd->GetActiveView() ==
                                                       m_pDecisionView);
}

void CSignerApp::SetStatus(TitleSource source, const std::string& text) {
  {
    const std::lock_guard lock(m_titleLock);
    m_strTitleTexts[static_cast<int>(source)] = text;
  }
  // Composed on the GUI thread, so that the last change wins whichever thread made it.
  QMetaObject::invokeMethod(
      this,
      [this] {
        std::string title;
        {
          const std::lock_guard lock(m_titleLock);
          for (const std::string& part : m_strTitleTexts) {
            if (part.empty()) continue;
            if (!title.empty()) title += " - ";
            title += part;
          }
        }
        SetMainTitle(title);
      },
      Qt::AutoConnection);
}

void CSignerApp::SetMainTitle(const std::string& text) {
  QString title = res::LoadString(res::IDS_MAIN_TITLE);
  if (!text.empty()) title += QStringLiteral(" - ") + UiText(text);
  QMetaObject::invokeMethod(
      this,
      [this, title] {
        if (m_pMainWnd) m_pMainWnd->setWindowTitle(title);
      },
      Qt::AutoConnection);
}

tagSignerAccount CSignerApp::Account() const {
  const std::lock_guard lock(m_accountLock);
  return m_account;
}

void CSignerApp::SetAccount(const tagSignerAccount& account) {
  const std::lock_guard lock(m_accountLock);
  m_account = account;
}

void CSignerApp::OnAppAbout() {
  CAboutDlg about(m_pMainWnd.get());
  about.exec();
}

void CSignerApp::OnViewSwitch() {
  const bool taskListShown = m_pMainWnd->GetActiveView() == m_pTaskView;
  ShowView(taskListShown ? static_cast<QWidget*>(m_pQueueView) : m_pTaskView);
}

void CSignerApp::OnShowDecisions() {
  const std::string user = UserName();
  m_pDecisionView->Reload(user.empty() ? std::string() : HomeDirectory(user));
  ShowView(m_pDecisionView);
}

void CSignerApp::ShowPendingCount() {
  const int pending = m_lists.Tasks().Count();
  SetStatus(TitleSource::kPending,
            pending == 0 ? std::string()
                         : Bytes(Tr(QT_TRANSLATE_NOOP("Signer", "%1 待审")).arg(pending)));
}

void CSignerApp::OnTasksArrived(int count) {
  if (ReadClientSettings().notify) m_pNotice->Show(count, m_lists.Tasks().Count());
}

void CSignerApp::OnExportDecisions() {
  const QString path = QFileDialog::getSaveFileName(
      m_pMainWnd.get(), res::CommandLabel(res::ID_FILE_EXPORT),
      QStringLiteral("Decisions.csv"), QStringLiteral("CSV (*.csv)"));
  if (path.isEmpty()) return;
  if (!ExportDecisions(Bytes(QDir::toNativeSeparators(path))))
    QMessageBox::warning(m_pMainWnd.get(), Tr(res::text::kAppTitle),
                         Tr(QT_TRANSLATE_NOOP("Signer", "无法写入文件%1。"))
                             .arg(QDir::toNativeSeparators(path)));
}

bool CSignerApp::ExportDecisions(const std::string& path) {
  std::vector<std::string> headings = m_pDecisionView->Headings();
  headings.push_back(TrBytes(QT_TRANSLATE_NOOP("Signer", "签审人")));
  headings.push_back(TrBytes(QT_TRANSLATE_NOOP("Signer", "任务编号")));
  return WriteExportFile(path, DecisionsCsv(headings,
                                            m_pDecisionView->ShownDecisions(),
                                            TrBytes(QT_TRANSLATE_NOOP("Signer", "签发")),
                                            TrBytes(QT_TRANSLATE_NOOP("Signer", "退回"))));
}

void CSignerApp::ShowView(QWidget* shown) {
  m_pMainWnd->SetActiveView(shown);
  // The task commands act on the task list only.
  UpdateCommands();
}
