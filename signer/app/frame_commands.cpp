// The commands of the main window: their actions, the menus and the accelerators.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/app_icons.h"
#include "app/main_frame.h"
#include "app/resource.h"
#include "store/ui_text.h"

QAction* CMainFrame::EnsureCommand(int id) {
  QAction*& action = m_commands[id];
  if (!action) {
    action = new QAction(this);
    action->setStatusTip(res::CommandPrompt(id));
    action->setToolTip(res::CommandLabel(id));
    action->setIcon(CommandIcon(id));
    action->setIconVisibleInMenu(false);
    addAction(action);  // its keys work wherever the focus is in this window
  }
  return action;
}

void CMainFrame::CreateMenus() {
  for (const res::Menu& menu : res::MainMenu()) {
    QMenu* popup = menuBar()->addMenu(Tr(menu.title));
    for (const res::MenuItem& item : menu.items) {
      if (item.command == 0) {
        popup->addSeparator();
        continue;
      }
      QAction* action = EnsureCommand(item.command);
      action->setText(Tr(item.text));  // the text after a tab is its key text
      popup->addAction(action);
    }
  }
  connect(Command(res::ID_APP_EXIT), &QAction::triggered, this, &QWidget::close);
}

void CMainFrame::CreateAccelerators() {
  for (const res::Accelerator& accelerator : res::Accelerators()) {
    QAction* action = EnsureCommand(accelerator.command);
    action->setShortcuts(action->shortcuts() << accelerator.key);
  }
  // Nothing handles these commands; disabled, their keys go on to the focused list.
  for (const int id : {res::ID_EDIT_COPY, res::ID_EDIT_CUT, res::ID_EDIT_PASTE, res::ID_FILE_OPEN})
    Command(id)->setEnabled(false);
}
