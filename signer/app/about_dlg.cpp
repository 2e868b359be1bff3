#include "app/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/app_icons.h"
#include "app/resource.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(res::text::kAboutTitle));
  auto* icon = new QLabel;
  icon->setPixmap(SignerIcon().pixmap(32, 32));
  auto* version = new QLabel(QString::fromUtf8(res::text::kAboutVersion));
  auto* ok = new QPushButton(QString::fromUtf8(res::text::kOk));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addWidget(version, 1);
  layout->addWidget(ok, 0, Qt::AlignTop);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
