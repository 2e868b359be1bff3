#include "dialogs/ui_text.h"

#include <QCoreApplication>

namespace vetrule {

QString Tr(const char* source) { return QCoreApplication::translate("vetrule", source); }

QString openFailureText(const std::string& path, int cause) {
  return Tr(QT_TRANSLATE_NOOP(
                "vetrule",
                "打开配置文件%1失败.(error code:%2),请把这个程序复制到MDaemon的App目录"
                "下，比如c:\\MDaemon\\App"))
      .arg(QString::fromStdString(path), QString::number(cause));
}

QString saveFailureText(const std::string& path, unsigned long systemError) {
  return Tr(QT_TRANSLATE_NOOP("vetrule", "保存配置文件%1失败.(error code:%2),规则文件未作改动"))
      .arg(QString::fromStdString(path), QString::number(systemError));
}

}  // namespace vetrule
