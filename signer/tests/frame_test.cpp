// The main window: placement, title, menus, toolbar, keys, status bar and the About box.
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <thread>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/resource.h"
#include "app/signer_app.h"
#include "app/text_tool_bar.h"
#include "mailsignoff_version.h"
#include "reader/window_placement.h"
#include "views/queue_view.h"
#include "views/signer_view.h"
#include "working_dir.h"

class FrameTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<ScopedWorkingDir>();
    m_app = std::make_unique<CSignerApp>(tagSignerOptions{.m_bCheckAtStart = false});
    QVERIFY(m_app->InitInstance());
    QVERIFY(QTest::qWaitForWindowActive(Frame()));
  }
  void cleanup() {
    m_app.reset();
    m_dir.reset();
  }

  void placementForScreen_data() {
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("reader");
    QTest::newRow("1280x800") << QRect(0, 0, 1280, 800) << QRect(0, 472, 1280, 300)
                              << QRect(0, 0, 1280, 472);
    QTest::newRow("1920x1080") << QRect(0, 0, 1920, 1080) << QRect(0, 752, 1920, 300)
                               << QRect(0, 0, 1920, 752);
    QTest::newRow("800x600") << QRect(0, 0, 800, 600) << QRect(0, 272, 800, 300)
                             << QRect(0, 0, 800, 272);
  }
  void placementForScreen() {
    QFETCH(QRect, screen);
    QFETCH(QRect, frame);
    QFETCH(QRect, reader);
    QCOMPARE(MainFramePlacement(screen), frame);
    QCOMPARE(ReaderPlacement(screen, frame.top()), reader);
  }

  void startUpShowsTheStripWithTheTaskList() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(Frame()->frameGeometry(), QRect(0, screen.height() - 328, screen.width(), 300));
    QCOMPARE(Frame()->windowTitle(), QStringLiteral("主管签审"));
    QCOMPARE(Frame()->GetActiveView(), static_cast<QWidget*>(m_app->m_pTaskView));
    QVERIFY(m_app->m_pTaskView->isVisible());
    QVERIFY(!m_app->m_pQueueView->isVisible());
    QCOMPARE(Headings(m_app->m_pTaskView), QStringList({"发送人", "接收人", "主题", "到达时间", "等待"}));
    QCOMPARE(Headings(m_app->m_pQueueView),
             QStringList({"状态", "发送人", "主题", "接收人", "入队时间", "决定"}));
  }

  void titleFromAnyThread() {
    m_app->SetMainTitle("boss");
    QCOMPARE(Frame()->windowTitle(), QStringLiteral("主管签审 - boss"));
    std::thread([this] { m_app->SetMainTitle("登录到服务器失败。-ERR (4944)"); }).join();
    QTRY_COMPARE(Frame()->windowTitle(),
                 QStringLiteral("主管签审 - 登录到服务器失败。-ERR (4944)"));
    m_app->SetMainTitle("\xD6\xF7\xB9\xDC");  // GB18030 bytes from a server reply
    QCOMPARE(Frame()->windowTitle(), QStringLiteral("主管签审 - 主管"));
    m_app->SetMainTitle("");
    QCOMPARE(Frame()->windowTitle(), QStringLiteral("主管签审"));
  }

  void menusWithTheirKeyTexts() {
    QStringList menus;
    for (QAction* menu : Frame()->menuBar()->actions()) {
      menus << menu->text();
      for (QAction* item : menu->menu()->actions())
        menus << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    QCOMPARE(menus, QStringList({"文件(&F)", "阅读(&R)...\tEnter", "-", "签发(&A)...",
                                 "退回(&B)...", "-", "下一个(&N)", "上一个(&P)", "刷新(&R)\tF5",
                                 "登录(&L)...", "-", "退出(&X)", "帮助(&H)",
                                 "视图切换(&S)\tCtrl+\\", "决定记录(&D)\tCtrl+D",
                                 "导出决定记录(&E)...", "查找(&F)\tCtrl+F", "-",
                                 "关于 Signer(&A)..."}));
    QCOMPARE(Frame()->Command(res::ID_TASK_NEXT)->text(), QStringLiteral("下一个(&N)"));
    QCOMPARE(Frame()->Command(res::ID_TASK_PREV)->text(), QStringLiteral("上一个(&P)"));
    QCOMPARE(Frame()->Command(res::ID_REFRESH)->statusTip(),
             QStringLiteral("从服务器上获取签审任务"));
  }

  void toolbarOfLabelledButtonsOfOneSize() {
    CTextToolBar* toolbar = Frame()->ToolBar();
    QCOMPARE(Frame()->toolBarArea(toolbar), Qt::RightToolBarArea);
    QStringList labels;
    QSet<QSize> sizes;
    for (QToolButton* button : toolbar->Buttons()) {
      QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
      QCOMPARE(button->text(), button->defaultAction()->toolTip());
      labels << button->text();
      sizes << button->size();
      QVERIFY(button->width() >= button->sizeHint().width());
    }
    QCOMPARE(labels, QStringList({"阅读", "签发", "退回", "上个", "下个", "刷新", "退出", "关于"}));
    QCOMPARE(sizes.size(), 1);
    QCOMPARE(toolbar->Buttons()[1]->defaultAction(), Frame()->Command(res::ID_TASK_APPROVE));
  }

  // At the strip's height no button hides behind the toolbar's overflow arrow.
  void everyButtonShowsAtTheStripsHeight() {
    CTextToolBar* toolbar = Frame()->ToolBar();
    QCOMPARE(Frame()->frameGeometry().height(), 300);
    QCOMPARE(toolbar->Buttons().size(), 8);
    for (QToolButton* button : toolbar->Buttons()) {
      QVERIFY2(button->isVisible(), qPrintable(button->text()));
      const QRect shown(button->mapTo(toolbar, QPoint(0, 0)), button->size());
      QVERIFY2(toolbar->rect().contains(shown), qPrintable(button->text()));
    }
    for (QToolButton* extension : toolbar->findChildren<QToolButton*>()) {
      if (!toolbar->Buttons().contains(extension)) QVERIFY(!extension->isVisible());
    }
  }

  void backslashSwitchesTheViews() {
    QWidget* taskList = m_app->m_pTaskView;
    QWidget* queueList = m_app->m_pQueueView;
    QCOMPARE(QApplication::focusWidget(), taskList);
    QTest::keyClick(Frame()->windowHandle(), Qt::Key_Backslash);
    QCOMPARE(Frame()->GetActiveView(), queueList);
    QVERIFY(queueList->isVisible() && !taskList->isVisible());
    QCOMPARE(QApplication::focusWidget(), queueList);
    QTest::keyClick(Frame()->windowHandle(), Qt::Key_Backslash);
    QCOMPARE(Frame()->GetActiveView(), taskList);
    QTest::keyClick(Frame()->windowHandle(), Qt::Key_Backslash, Qt::ControlModifier);
    QCOMPARE(Frame()->GetActiveView(), queueList);
  }

  void keysIssueTheirCommands_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("command");
    QTest::newRow("Enter") << int(Qt::Key_Return) << res::ID_TASK_READ;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << res::ID_TASK_READ;
    QTest::newRow("F5") << int(Qt::Key_F5) << res::ID_REFRESH;
  }
  void keysIssueTheirCommands() {
    QFETCH(int, key);
    QFETCH(int, command);
    QSignalSpy triggered(Frame()->Command(command), &QAction::triggered);
    QTest::keyClick(Frame()->windowHandle(), Qt::Key(key));
    QCOMPARE(triggered.size(), 1);
  }

  void editingKeysAndOpenHaveNoHandler() {
    const std::pair<int, const char*> keys[] = {{res::ID_EDIT_COPY, "Ctrl+C"},
                                                {res::ID_EDIT_CUT, "Ctrl+X"},
                                                {res::ID_EDIT_PASTE, "Shift+Ins"},
                                                {res::ID_FILE_OPEN, "Ctrl+O"}};
    for (const auto& [command, key] : keys) {
      QAction* action = Frame()->Command(command);
      QVERIFY(action->shortcuts().contains(QKeySequence::fromString(QString::fromLatin1(key))));
      QVERIFY(!action->isEnabled());
    }
  }

  void statusBarPanes() {
    QLabel* progress = Frame()->ProgressPane();
    QCOMPARE(progress->text(), QStringLiteral("下载任务:      "));
    QVERIFY(progress->isVisible());
    Frame()->OnDownloadProgress(0, 0);
    QCOMPARE(progress->text(), QStringLiteral("下载任务:0/0"));
    Frame()->OnDownloadProgress(2, 5);
    QCOMPARE(progress->text(), QStringLiteral("下载任务:2/5"));

    QStringList panes;
    for (QLabel* pane : Frame()->statusBar()->findChildren<QLabel*>()) panes << pane->text();
    QCOMPARE(panes, QStringList({"就绪", "下载任务:2/5", QString(20, u' ')}));
    Frame()->statusBar()->showMessage(Frame()->Command(res::ID_TASK_APPROVE)->statusTip());
    QCOMPARE(Frame()->statusBar()->currentMessage(), QStringLiteral("同意发送该邮件"));
  }

  void aboutBox() {
    QTimer::singleShot(0, this, [] {
      auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
      QVERIFY(about);
      QCOMPARE(about->windowTitle(), QStringLiteral("关于 Signer"));
      QStringList texts;
      for (QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
      QVERIFY(texts.contains(QStringLiteral("Signer " MAILSIGNOFF_VERSION " 版")));
      QTest::mouseClick(about->findChild<QPushButton*>(), Qt::LeftButton);
    });
    Frame()->Command(res::ID_APP_ABOUT)->trigger();
    QVERIFY(!QApplication::activeModalWidget());
  }

 private:
  CMainFrame* Frame() const { return m_app->MainFrame(); }
  static QStringList Headings(QTreeView* list) {
    QStringList headings;
    for (int column = 0; column < list->model()->columnCount(); ++column) {
      if (!list->isColumnHidden(column))
        headings << list->model()->headerData(column, Qt::Horizontal).toString();
    }
    return headings;
  }

  std::unique_ptr<ScopedWorkingDir> m_dir;
  std::unique_ptr<CSignerApp> m_app;
};

QTEST_MAIN(FrameTest)
#include "frame_test.moc"
