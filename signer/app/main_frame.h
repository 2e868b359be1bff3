#pragma once

#include <QMainWindow>
#include <map>

class QLabel;
class QLineEdit;
class QStackedWidget;
class CTextToolBar;

// The main window: one of the two lists in the client area, the labelled toolbar standing at the
// right end, the status bar, the menus and the accelerators.
class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(QWidget* parent = nullptr);

  // The action that issues a command from the menu, the toolbar and the keys; null when none does.
  QAction* Command(int id) const;

  // Shows the window so that it fills the rectangle with its frame and title bar included.
  void ShowAt(const QRect& frame);

  // Adds a list to the client area, hidden until it is made the active view.
  void AddView(QWidget* view);
  void SetActiveView(QWidget* view);
  QWidget* GetActiveView() const;

  CTextToolBar* ToolBar() const { return m_wndToolBar; }
  QLabel* ProgressPane() const { return m_progressPane; }
  // The find box in the status bar: what the lists show only rows of.
  QLineEdit* FindBox() const { return m_findBox; }

 public slots:
  // Shows "下载任务:" with current/count in the progress pane at once.
  void OnDownloadProgress(int current, int count);
  // Moves a top-level window (the mail reader) to fill the screen above this window.
  void OnPlaceReader(WId window);

 private:
  QAction* EnsureCommand(int id);
  void CreateMenus();
  void CreateAccelerators();
  void CreateToolBar();
  void CreateStatusBar();

  std::map<int, QAction*> m_commands;
  QStackedWidget* m_views;
  CTextToolBar* m_wndToolBar = nullptr;
  QLabel* m_progressPane = nullptr;
  QLineEdit* m_findBox = nullptr;
};
