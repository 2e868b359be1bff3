#include "dialogs/user_sel_dlg.h"

#include <QListWidget>
#include <QPushButton>

#include "core/user_directory.h"
#include "dialogs/address_text.h"
#include "dialogs/dialog_template.h"
#include "dialogs/ui_text.h"

CUserSelDlg::CUserSelDlg(const std::vector<std::string>& exclusionList, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "用户选择")));
  vetrule::DialogUnits du =
      vetrule::applyDialogTemplate(this, vetrule::shellDialogFont(), 228, 166);

  m_candidateList = new QListWidget(this);
  m_candidateList->setObjectName(QStringLiteral("candidateList"));
  m_candidateList->setGeometry(du.rect(7, 7, 214, 131));
  for (const std::string& address :
       vetrule::candidateAddresses(vetrule::kUsersDirectory, exclusionList)) {
    QListWidgetItem* item = vetrule::newAddressItem(address);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    m_candidateList->addItem(item);
  }

  auto* ok = new QPushButton(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "确定")), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setGeometry(du.rect(117, 145, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CUserSelDlg::accept);

  auto* cancel = new QPushButton(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "取消")), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setGeometry(du.rect(171, 145, 50, 14));
  connect(cancel, &QPushButton::clicked, this, &CUserSelDlg::reject);
}

void CUserSelDlg::accept() {
  m_resultArray.clear();
  for (int row = 0; row < m_candidateList->count(); ++row) {
    QListWidgetItem* item = m_candidateList->item(row);
    if (item->checkState() == Qt::Checked) m_resultArray.push_back(vetrule::addressOf(item));
  }
  QDialog::accept();
}
