#include "app/signer_app.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>

#include "app/about_dlg.h"
#include "app/frame_placement.h"
#include "app/main_frame.h"
#include "app/resource.h"
#include "app/ui_text.h"
#include "login/login_prompt.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

CSignerApp::CSignerApp() = default;

CSignerApp::~CSignerApp() { ExitInstance(); }

bool CSignerApp::InitInstance() {
  m_pMainWnd = std::make_unique<CMainFrame>();
  connect(m_pMainWnd->Command(res::ID_APP_ABOUT), &QAction::triggered, this,
          &CSignerApp::OnAppAbout);
  connect(m_pMainWnd->Command(res::ID_VIEW_SWITCH), &QAction::triggered, this,
          &CSignerApp::OnViewSwitch);

  m_pTaskView = new CSignerView;
  m_pMainWnd->AddView(m_pTaskView);
  m_pTaskView->OnInitialUpdate();
  m_pMainWnd->SetActiveView(m_pTaskView);

  m_pQueueView = new CQueueView;
  m_pMainWnd->AddView(m_pQueueView);
  m_pQueueView->OnInitialUpdate();

  m_pMainWnd->ShowAt(MainFramePlacement(QGuiApplication::primaryScreen()->geometry()));
  m_pMainWnd->repaint();
  SetMainTitle("");

  m_pLoginPrompt = std::make_unique<CLoginPrompt>(*this);
  return true;
}

int CSignerApp::ExitInstance() {
  if (m_pLoginPrompt) m_pLoginPrompt->Close();
  return 0;
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
  QWidget* active = m_pMainWnd->GetActiveView();
  m_pMainWnd->SetActiveView(active == m_pTaskView ? static_cast<QWidget*>(m_pQueueView)
                                                   : m_pTaskView);
}
