#include "app/resource.h"

#include <map>

#include "store/ui_text.h"

namespace res {

namespace {

const std::map<int, const char*>& StringTable() {
  static const std::map<int, const char*> table = {
      {IDS_PROGRESS_PANE, QT_TRANSLATE_NOOP("Signer", "下载任务:      ")},
      {IDS_SPARE_PANE, "                    "},
      {IDS_MAIN_TITLE, QT_TRANSLATE_NOOP("Signer", "主管签审")},
      {ID_TASK_PREV, QT_TRANSLATE_NOOP("Signer", "阅读上一个签审任务\n上个")},
      {ID_TASK_NEXT, QT_TRANSLATE_NOOP("Signer", "阅读下一个签审任务\n下个")},
      {ID_TASK_APPROVE, QT_TRANSLATE_NOOP("Signer", "同意发送该邮件\n签发")},
      {ID_TASK_RETURN, QT_TRANSLATE_NOOP("Signer", "退回\n退回")},
      {ID_TASK_READ, QT_TRANSLATE_NOOP("Signer", "打开现有文档\n阅读")},
      {ID_REFRESH, QT_TRANSLATE_NOOP("Signer", "从服务器上获取签审任务\n刷新")},
      {ID_VIEW_DECISIONS,
       QT_TRANSLATE_NOOP("Signer", "显示签发和退回的记录，最新的在前\n决定记录")},
      {ID_FILE_LOGIN, QT_TRANSLATE_NOOP("Signer", "更换登录的用户、服务器或端口\n登录")},
      {ID_FILE_EXPORT, QT_TRANSLATE_NOOP("Signer", "把列出的决定记录导出为CSV文件\n导出")},
      {ID_EDIT_FIND, QT_TRANSLATE_NOOP("Signer", "按发送人、接收人或主题查找\n查找")},
      {IDS_APP_TITLE, text::kAppTitle},
      {IDS_IDLE_MESSAGE, QT_TRANSLATE_NOOP("Signer", "就绪")},
      {IDS_PARSE_INT, text::kParseInt},
      {ID_APP_ABOUT, QT_TRANSLATE_NOOP("Signer", "显示程序信息、版本号和版权\n关于")},
      {ID_APP_EXIT, QT_TRANSLATE_NOOP("Signer", "退出应用程序；提示保存文档\n退出")},
  };
  return table;
}

}  // namespace

QString LoadString(int id) {
  const auto found = StringTable().find(id);
  return found == StringTable().end() ? QString() : Tr(found->second);
}

QString CommandPrompt(int command) {
  return LoadString(command).section(u'\n', 0, 0);
}

QString CommandLabel(int command) {
  const QString text = LoadString(command);
  return text.contains(u'\n') ? text.section(u'\n', -1) : QString();
}

const std::vector<Menu>& MainMenu() {
  // "下一个" moves to the row below and "上一个" to the row above, as the toolbar's 下个 and 上个.
  static const std::vector<Menu> menu = {
      {QT_TRANSLATE_NOOP("Signer", "文件(&F)"),
       {{ID_TASK_READ, QT_TRANSLATE_NOOP("Signer", "阅读(&R)...\tEnter")},
        {0, nullptr},
        {ID_TASK_APPROVE, QT_TRANSLATE_NOOP("Signer", "签发(&A)...")},
        {ID_TASK_RETURN, QT_TRANSLATE_NOOP("Signer", "退回(&B)...")},
        {0, nullptr},
        {ID_TASK_NEXT, QT_TRANSLATE_NOOP("Signer", "下一个(&N)")},
        {ID_TASK_PREV, QT_TRANSLATE_NOOP("Signer", "上一个(&P)")},
        {ID_REFRESH, QT_TRANSLATE_NOOP("Signer", "刷新(&R)\tF5")},
        {ID_FILE_LOGIN, QT_TRANSLATE_NOOP("Signer", "登录(&L)...")},
        {0, nullptr},
        {ID_APP_EXIT, QT_TRANSLATE_NOOP("Signer", "退出(&X)")}}},
      {QT_TRANSLATE_NOOP("Signer", "帮助(&H)"),
       {{ID_VIEW_SWITCH, QT_TRANSLATE_NOOP("Signer", "视图切换(&S)\tCtrl+\\")},
        {ID_VIEW_DECISIONS, QT_TRANSLATE_NOOP("Signer", "决定记录(&D)\tCtrl+D")},
        {ID_FILE_EXPORT, QT_TRANSLATE_NOOP("Signer", "导出决定记录(&E)...")},
        {ID_EDIT_FIND, QT_TRANSLATE_NOOP("Signer", "查找(&F)\tCtrl+F")},
        {0, nullptr},
        {ID_APP_ABOUT, QT_TRANSLATE_NOOP("Signer", "关于 Signer(&A)...")}}},
  };
  return menu;
}

const std::vector<Accelerator>& Accelerators() {
  static const std::vector<Accelerator> keys = {
      {QKeySequence(Qt::Key_Return), ID_TASK_READ},
      {QKeySequence(Qt::Key_Enter), ID_TASK_READ},
      {QKeySequence(Qt::Key_F5), ID_REFRESH},
      {QKeySequence(Qt::Key_Backslash), ID_VIEW_SWITCH},
      // The key the menu shows for the view switch.
      {QKeySequence(Qt::CTRL | Qt::Key_Backslash), ID_VIEW_SWITCH},
      {QKeySequence(Qt::CTRL | Qt::Key_D), ID_VIEW_DECISIONS},
      {QKeySequence(Qt::CTRL | Qt::Key_F), ID_EDIT_FIND},
      {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
      {QKeySequence(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
      {QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
      {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
      {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
      {QKeySequence(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
      {QKeySequence(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
  };
  return keys;
}

const std::vector<int>& ToolbarButtons() {
  static const std::vector<int> buttons = {
      ID_TASK_READ, ID_TASK_APPROVE, ID_TASK_RETURN, 0, ID_TASK_PREV, ID_TASK_NEXT,
      ID_REFRESH,   0,               ID_APP_EXIT,    ID_APP_ABOUT};
  return buttons;
}

}  // namespace res
