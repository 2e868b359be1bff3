#include "dialogs/user_sel_dlg.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/user_directory.h"
#include "dialogs/address_text.h"
#include "dialogs/dialog_template.h"
#include "dialogs/ui_text.h"

namespace {

// Why the mail server's Users directory offers nothing to tick.
QString emptyReason(const std::vector<std::string>& exclusionList) {
  const QString folder = QDir::toNativeSeparators(
      QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromLatin1(vetrule::kUsersDirectory))));
  if (!QFileInfo(folder).isDir())
    return vetrule::Tr(QT_TRANSLATE_NOOP(
                           "vetrule",
                           "找不到邮件服务器的用户目录%1。请在邮件服务器的App目录下运行这个程序，或用--directory指定该目录。"))
        .arg(folder);
  if (exclusionList.empty() || vetrule::candidateAddresses(vetrule::kUsersDirectory, {}).empty())
    return vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "用户目录%1中没有邮箱文件夹。")).arg(folder);
  return vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "用户目录%1中的邮箱都已在列表中。")).arg(folder);
}

}  // namespace

CUserSelDlg::CUserSelDlg(const std::vector<std::string>& exclusionList, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "用户选择")));
  // Opens at the template's size and grows with the window, so that long addresses can be read.
  vetrule::DialogUnits du = vetrule::applyDialogTemplate(
      this, vetrule::shellDialogFont(), 228, 166, vetrule::DialogSizing::kResizable);
  setSizeGripEnabled(true);

  m_candidateList = new QListWidget(this);
  m_candidateList->setObjectName(QStringLiteral("candidateList"));
  const std::vector<std::string> candidates =
      vetrule::candidateAddresses(vetrule::kUsersDirectory, exclusionList);
  for (const std::string& address : candidates) {
    QListWidgetItem* item = vetrule::newAddressItem(address);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    m_candidateList->addItem(item);
  }
  auto* reason = new QLabel(this);
  reason->setObjectName(QStringLiteral("emptyReason"));
  reason->setWordWrap(true);
  reason->setTextFormat(Qt::PlainText);
  if (candidates.empty()) reason->setText(emptyReason(exclusionList));
  reason->setVisible(candidates.empty());

  auto* ok = new QPushButton(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "确定")), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setMinimumWidth(du.x(50));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CUserSelDlg::accept);

  auto* cancel = new QPushButton(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "取消")), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setMinimumWidth(du.x(50));
  connect(cancel, &QPushButton::clicked, this, &CUserSelDlg::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(du.x(7), du.y(7), du.x(7), du.y(7));
  layout->addWidget(m_candidateList, 1);
  layout->addWidget(reason);
  layout->addLayout(buttons);
}

void CUserSelDlg::accept() {
  m_resultArray.clear();
  for (int row = 0; row < m_candidateList->count(); ++row) {
    QListWidgetItem* item = m_candidateList->item(row);
    if (item->checkState() == Qt::Checked) m_resultArray.push_back(vetrule::addressOf(item));
  }
  QDialog::accept();
}
