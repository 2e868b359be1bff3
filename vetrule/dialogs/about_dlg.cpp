#include "dialogs/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "dialogs/app_icon.h"
#include "dialogs/dialog_template.h"
#include "dialogs/ui_text.h"
#include "mailsignoff_version.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "关于 Ledra签审设置工具")));
  vetrule::DialogUnits du =
      vetrule::applyDialogTemplate(this, vetrule::songtiDialogFont(), 170, 62);

  auto* icon = new QLabel(this);
  icon->setPixmap(vetrule::applicationIcon().pixmap(32, 32));
  icon->setGeometry(QRect(du.x(14), du.y(14), 32, 32));

  auto* version =
      new QLabel(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "Ledra签审设置工具 %1 版"))
                     .arg(QStringLiteral(MAILSIGNOFF_VERSION)),
                 this);
  version->setGeometry(du.rect(42, 14, 120, 8));

  auto* ok = new QPushButton(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "确定")), this);
  ok->setGeometry(du.rect(113, 41, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
