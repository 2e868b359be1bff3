#include "app/guided_tour.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <cstdio>

#include "app/main_frame.h"
#include "app/resource.h"
#include "app/signer_app.h"
#include "login/login_prompt.h"
#include "reader/message_viewer.h"
#include "store/ui_text.h"
#include "views/queue_view.h"
#include "views/signer_view.h"
#include "views/text_input.h"

namespace {

constexpr int kPollMs = 100;

void Say(const QString& text) {
  std::printf("tour: %s\n", text.toUtf8().constData());
  std::fflush(stdout);
}

}  // namespace

CGuidedTour::CGuidedTour(CSignerApp& app, tagTourOptions options)
    : m_app(app), m_options(std::move(options)) {
  m_poll.setInterval(kPollMs);
  connect(&m_poll, &QTimer::timeout, this, &CGuidedTour::Poll);

  CLogin& login = m_app.LoginPrompt()->Dialog();
  CSignerView* tasks = m_app.m_pTaskView;
  CMainFrame* frame = m_app.MainFrame();
  const auto command = [frame](int id) { frame->Command(id)->trigger(); };

  m_steps = {
      {"log in",
       {},
       [this, &login] {
         if (!login.isVisible()) return false;
         login.findChild<QLineEdit*>(QStringLiteral("password"))->setText(m_options.m_strPassword);
         Screenshot(&login, QStringLiteral("login"));
         login.findChild<QPushButton*>(QStringLiteral("ok"))->click();
         return true;
       }},
      {"wait for the held messages",
       {},
       [this, tasks, frame] {
         if (tasks->RowCount() < m_options.m_nTasks || tasks->SelectedRows().empty() ||
             !m_app.CanDecide() || !frame->Command(res::ID_TASK_APPROVE)->isEnabled())
           return false;
         Screenshot(frame, QStringLiteral("tasks"));
         return true;
       }},
      // The built-in viewer, not the desktop's reader, which a machine without a display lacks.
      {"read the selected task", [tasks] { tasks->ReadSelectedInViewer(); },
       [this, tasks] {
         CMessageViewer* viewer = tasks->Viewer();
         if (!tasks->ViewerShown() || !viewer->windowHandle() ||
             !viewer->windowHandle()->isExposed())
           return false;
         Screenshot(viewer, QStringLiteral("read"));
         viewer->close();
         return true;
       }},
      {"approve the selected task",
       [this, tasks, command] {
         m_strApproved = tasks->TaskId(tasks->SelectedRows().front());
         command(res::ID_TASK_APPROVE);
       },
       [this, tasks, frame] {
         if (tasks->FindRow(m_strApproved) >= 0) return false;
         Screenshot(frame, QStringLiteral("approved"));
         return true;
       }},
      {"return the next task with a reason",
       [this, tasks, command] {
         if (tasks->SelectedRows().empty()) return;
         m_strReturned = tasks->TaskId(tasks->SelectedRows().front());
         AnswerReasonDialog();
         command(res::ID_TASK_RETURN);
       },
       [this, tasks, frame] {
         if (m_strReturned.empty() || tasks->FindRow(m_strReturned) >= 0) return false;
         Screenshot(frame, QStringLiteral("returned"));
         return true;
       }},
      {"wait for delivery", [command] { command(res::ID_VIEW_SWITCH); },
       [this, frame] {
         if (!AllQueuedSent()) return false;
         Screenshot(frame, QStringLiteral("sent"));
         return true;
       }},
  };
}

void CGuidedTour::Start() {
  if (!m_options.m_strScreenshotDir.isEmpty()) QDir().mkpath(m_options.m_strScreenshotDir);
  m_nStep = 0;
  m_stepStart = std::chrono::steady_clock::now();
  Say(QStringLiteral("%1...").arg(m_steps[0].m_strName));
  if (m_steps[0].m_begin) m_steps[0].m_begin();
  m_poll.start();
}

void CGuidedTour::Poll() {
  if (m_bInStep || m_bFinished) return;
  m_bInStep = true;  // a step may open a dialog, whose event loop polls again
  const tagStep& step = m_steps[m_nStep];
  if (step.m_done()) {
    Next();
  } else if (std::chrono::steady_clock::now() - m_stepStart > m_options.m_stepTimeout) {
    Fail(QStringLiteral("%1: not done after %2 s (title: %3)")
             .arg(step.m_strName)
             .arg(std::chrono::duration_cast<std::chrono::seconds>(m_options.m_stepTimeout).count())
             .arg(m_app.MainFrame()->windowTitle()));
  }
  m_bInStep = false;
}

void CGuidedTour::Next() {
  if (++m_nStep == m_steps.size()) {
    m_bFinished = true;
    m_poll.stop();
    Say(QStringLiteral("done"));
    emit Finished(true, QString());
    return;
  }
  m_stepStart = std::chrono::steady_clock::now();
  Say(QStringLiteral("%1...").arg(m_steps[m_nStep].m_strName));
  if (m_steps[m_nStep].m_begin) m_steps[m_nStep].m_begin();
}

void CGuidedTour::Fail(const QString& why) {
  m_bFinished = true;
  m_poll.stop();
  Say(QStringLiteral("FAILED: ") + why);
  emit Finished(false, m_steps[m_nStep].m_strName);
}

void CGuidedTour::Screenshot(QWidget* widget, const QString& name) {
  if (m_options.m_strScreenshotDir.isEmpty()) return;
  const QString path = QDir(m_options.m_strScreenshotDir)
                           .filePath(QStringLiteral("%1-%2.png").arg(++m_nPicture).arg(name));
  if (widget->grab().save(path))
    Say(QStringLiteral("picture %1").arg(path));
  else
    Say(QStringLiteral("could not save %1").arg(path));
}

void CGuidedTour::AnswerReasonDialog() {
  auto* answer = new QTimer(this);
  answer->setInterval(kPollMs / 2);
  connect(answer, &QTimer::timeout, this, [this, answer] {
    auto* dialog = qobject_cast<CTextInput*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    answer->stop();
    answer->deleteLater();
    dialog->findChild<QLineEdit*>(QStringLiteral("reason"))->setText(m_options.m_strReason);
    Screenshot(dialog, QStringLiteral("reason"));
    dialog->findChild<QPushButton*>(QStringLiteral("ok"))->click();
  });
  answer->start();
}

bool CGuidedTour::AllQueuedSent() const {
  const CQueueView* queue = m_app.m_pQueueView;
  for (const std::string& id : {m_strApproved, m_strReturned}) {
    bool sent = false;
    for (int row = 0; row < queue->RowCount(); ++row)
      if (queue->TaskId(row) == id) sent = queue->Status(row) == SendStatus::kSent;
    if (!sent) return false;
  }
  return true;
}
