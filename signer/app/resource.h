#pragma once
// The program's resources in one place: command and string identifiers, the string table, the main
// menu, the accelerators and the toolbar buttons. The dialogs' texts are in store/dialog_texts.h.

#include <QKeySequence>
#include <QString>
#include <QtGlobal>
#include <vector>

#include "store/dialog_texts.h"

namespace res {

// Commands.
inline constexpr int ID_TASK_PREV = 32776;
inline constexpr int ID_TASK_NEXT = 32777;
inline constexpr int ID_TASK_APPROVE = 32778;
inline constexpr int ID_TASK_RETURN = 32779;
inline constexpr int ID_TASK_READ = 32782;
inline constexpr int ID_REFRESH = 32783;
inline constexpr int ID_VIEW_SWITCH = 32790;
inline constexpr int ID_VIEW_DECISIONS = 32791;
inline constexpr int ID_FILE_LOGIN = 32792;
inline constexpr int ID_FILE_EXPORT = 32793;
inline constexpr int ID_EDIT_FIND = 32794;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;

// Strings that are not command prompts.
inline constexpr int IDS_PROGRESS_PANE = 101;
inline constexpr int IDS_SPARE_PANE = 102;
inline constexpr int IDS_MAIN_TITLE = 103;
inline constexpr int IDS_APP_TITLE = 57344;
inline constexpr int IDS_IDLE_MESSAGE = 57345;
inline constexpr int IDS_PARSE_INT = 61712;

// The string with that id in the user's language; empty when there is none. A command's string
// holds its status-bar prompt, a line break, and its tooltip and button label.
QString LoadString(int id);
// The status-bar prompt (before the line break) and the label (the last piece after one).
QString CommandPrompt(int command);
QString CommandLabel(int command);

// Menu texts are the source texts; Tr gives them in the user's language.
struct MenuItem {
  int command;  // 0 for a separator
  const char* text;
};
struct Menu {
  const char* title;
  std::vector<MenuItem> items;
};
const std::vector<Menu>& MainMenu();

struct Accelerator {
  QKeySequence key;
  int command;
};
const std::vector<Accelerator>& Accelerators();

// Command ids in button order; 0 for a separator.
const std::vector<int>& ToolbarButtons();


}  // namespace res
