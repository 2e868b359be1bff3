#include "app/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/app_icons.h"
#include "app/resource.h"
#include "mailsignoff_version.h"
#include "store/ui_text.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Tr(res::text::kAboutTitle));
  auto* icon = new QLabel;
  icon->setPixmap(SignerIcon().pixmap(32, 32));
  auto* version = new QLabel(Tr(res::text::kAboutVersion).arg(QStringLiteral(MAILSIGNOFF_VERSION)));
  auto* ok = new QPushButton(Tr(res::text::kOk));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addWidget(version, 1);
  layout->addWidget(ok, 0, Qt::AlignTop);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
