#include "dialogs/vetrule_dlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "core/rule_file_reader.h"
#include "core/rule_file_writer.h"
#include "dialogs/about_dlg.h"
#include "dialogs/address_text.h"
#include "dialogs/app_icon.h"
#include "dialogs/dialog_template.h"
#include "dialogs/supervisor_item.h"
#include "dialogs/ui_text.h"
#include "dialogs/user_sel_dlg.h"
#include "platform/last_error.h"

using vetrule::SupervisorItem;
using vetrule::SupervisorRecord;

namespace {

QPushButton* addButton(QWidget* parent, const char* objectName, const QString& text, int width) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1StringView(objectName));
  button->setMinimumWidth(width);
  return button;
}

}  // namespace

CvetruleDlg::CvetruleDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "Ledra签审设置工具")));
  setWindowIcon(vetrule::applicationIcon());
  createControls();

  // Qt has no portable system menu: the About entry is in the dialog's context menu instead.
  auto* about = new QAction(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "关于 vetrule(&A)...")), this);
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &CvetruleDlg::showAbout);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  m_loader = std::thread([this] { loadRuleFile(); });
}

CvetruleDlg::~CvetruleDlg() {
  if (m_loader.joinable()) m_loader.join();
}

void CvetruleDlg::createControls() {
  // Opens at the template's size and grows with the window, so that long addresses can be read.
  vetrule::DialogUnits du = vetrule::applyDialogTemplate(
      this, vetrule::songtiDialogFont(), 250, 237, vetrule::DialogSizing::kResizable);
  setSizeGripEnabled(true);
  const int buttonWidth = du.x(50);

  m_supervisorList = new QListWidget(this);
  m_supervisorList->setObjectName(QStringLiteral("supervisorList"));
  m_supervisorList->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(m_supervisorList, &QListWidget::itemSelectionChanged, this,
          &CvetruleDlg::showUsersOfSelectedSupervisor);
  m_userList = new QListWidget(this);
  m_userList->setObjectName(QStringLiteral("userList"));
  m_userList->setViewMode(QListView::ListMode);
  m_userList->setFlow(QListView::TopToBottom);
  m_userList->setWrapping(true);
  m_userList->setResizeMode(QListView::Adjust);
  m_userList->setSelectionMode(QAbstractItemView::ExtendedSelection);

  const auto listButtons = [this, buttonWidth](const char* add, const char* remove) {
    auto* row = new QHBoxLayout;
    row->addWidget(addButton(this, add, vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "添加")),
                             buttonWidth));
    row->addStretch();
    row->addWidget(addButton(this, remove, vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "删除")),
                             buttonWidth));
    return row;
  };
  auto* lists = new QGridLayout;
  lists->addWidget(new QLabel(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "主管列表")), this), 0, 0);
  lists->addWidget(new QLabel(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "用户列表")), this), 0, 1);
  lists->addWidget(m_supervisorList, 1, 0);
  lists->addWidget(m_userList, 1, 1);
  lists->addLayout(listButtons("addSupervisor", "deleteSupervisor"), 2, 0);
  lists->addLayout(listButtons("addUser", "deleteUser"), 2, 1);
  lists->setColumnStretch(0, 110);
  lists->setColumnStretch(1, 117);
  lists->setRowStretch(1, 1);

  QPushButton* about =
      addButton(this, "about", vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "关于")), buttonWidth);
  QPushButton* save = addButton(
      this, "save", vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "保存到规则文件")), du.x(64));
  save->setDefault(true);
  QPushButton* cancel =
      addButton(this, "cancel", vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "取消")), buttonWidth);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(about);
  buttons->addStretch();
  buttons->addWidget(save);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(du.x(7), du.y(7), du.x(7), du.y(7));
  layout->addLayout(lists, 1);
  layout->addSpacing(du.y(4));
  layout->addLayout(buttons);

  connect(findChild<QPushButton*>(QStringLiteral("addSupervisor")), &QPushButton::clicked, this,
          &CvetruleDlg::addSupervisor);
  connect(findChild<QPushButton*>(QStringLiteral("deleteSupervisor")), &QPushButton::clicked, this,
          &CvetruleDlg::deleteSupervisor);
  connect(findChild<QPushButton*>(QStringLiteral("addUser")), &QPushButton::clicked, this,
          &CvetruleDlg::addUser);
  connect(findChild<QPushButton*>(QStringLiteral("deleteUser")), &QPushButton::clicked, this,
          &CvetruleDlg::deleteUser);
  connect(about, &QPushButton::clicked, this, &CvetruleDlg::showAbout);
  connect(save, &QPushButton::clicked, this, &CvetruleDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CvetruleDlg::reject);
}

void CvetruleDlg::loadRuleFile() {
  int cause = vetrule::loadRuleFile(vetrule::kRuleFilePath, m_ruleLists);
  if (cause != 0) {
    const QString message = vetrule::openFailureText(vetrule::kRuleFilePath, cause);
    QMetaObject::invokeMethod(
        this, [this, message] { showMessage(message); }, Qt::QueuedConnection);
    return;
  }
  for (const vetrule::RuleSection& rule : m_ruleLists.signOffRules) {
    SupervisorRecord record = vetrule::decodeSignOffRule(rule);
    QMetaObject::invokeMethod(
        this, [this, record] { insertSupervisor(record); }, Qt::QueuedConnection);
  }
}

void CvetruleDlg::finishLoading() {
  if (m_loader.joinable()) m_loader.join();
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CvetruleDlg::insertSupervisor(const SupervisorRecord& record) {
  auto* item = new SupervisorItem(record.supervisorAddress);
  item->record = std::make_unique<SupervisorRecord>(record);
  m_supervisorList->insertItem(0, item);
}

SupervisorItem* CvetruleDlg::selectedSupervisor() const {
  QList<QListWidgetItem*> selected = m_supervisorList->selectedItems();
  return selected.isEmpty() ? nullptr : static_cast<SupervisorItem*>(selected.front());
}

void CvetruleDlg::showUsersOfSelectedSupervisor() {
  m_userList->clear();
  SupervisorItem* supervisor = selectedSupervisor();
  if (supervisor == nullptr || supervisor->record == nullptr) return;
  for (const std::string& user : supervisor->record->userList)
    m_userList->addItem(vetrule::newAddressItem(user));
}

void CvetruleDlg::addSupervisor() {
  finishLoading();  // so that a supervisor still being loaded is not offered again
  CUserSelDlg select(vetrule::addressesOf(m_supervisorList), this);
  if (select.exec() != QDialog::Accepted) return;
  for (const std::string& address : select.resultArray())
    m_supervisorList->addItem(new SupervisorItem(address));
}

void CvetruleDlg::deleteSupervisor() {
  SupervisorItem* supervisor = selectedSupervisor();
  if (supervisor == nullptr) return;
  delete supervisor;
  m_supervisorList->clearSelection();
  showUsersOfSelectedSupervisor();
}

void CvetruleDlg::addUser() {
  std::vector<std::string> exclusionList = vetrule::addressesOf(m_userList);
  SupervisorItem* supervisor = selectedSupervisor();
  if (supervisor == nullptr) return;
  // A supervisor does not sign off its own mail.
  exclusionList.push_back(supervisor->address());
  std::unique_ptr<SupervisorRecord> created;
  SupervisorRecord* record = supervisor->record.get();
  if (record == nullptr) {
    created = std::make_unique<SupervisorRecord>();
    created->supervisorAddress = supervisor->address();
    record = created.get();
  }
  CUserSelDlg select(exclusionList, this);
  if (select.exec() != QDialog::Accepted) return;
  // The list shows the record's order, most recently added first, whenever the supervisor is
  // selected; the new users go to its top in that order too.
  for (const std::string& address : select.resultArray()) {
    m_userList->insertItem(0, vetrule::newAddressItem(address));
    record->userList.push_front(address);
  }
  if (created) supervisor->record = std::move(created);
}

void CvetruleDlg::deleteUser() {
  SupervisorItem* supervisor = selectedSupervisor();
  if (supervisor == nullptr || supervisor->record == nullptr) return;
  std::list<std::string>& users = supervisor->record->userList;
  for (QListWidgetItem* item : m_userList->selectedItems()) {
    auto found = std::find(users.begin(), users.end(), vetrule::addressOf(item));
    if (found != users.end()) users.erase(found);
    delete item;
  }
}

void CvetruleDlg::accept() {
  finishLoading();  // rules still being loaded would otherwise be lost
  std::vector<vetrule::SupervisorListEntry> supervisorList;
  for (int row = 0; row < m_supervisorList->count(); ++row) {
    auto* supervisor = static_cast<SupervisorItem*>(m_supervisorList->item(row));
    supervisorList.push_back({supervisor->address(), supervisor->record.get()});
  }
  if (!vetrule::saveRules(supervisorList, m_ruleLists, vetrule::kRuleFilePath)) {
    showMessage(vetrule::saveFailureText(vetrule::kRuleFilePath, platform::lastError()));
    return;
  }
  QDialog::accept();
}

void CvetruleDlg::showAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CvetruleDlg::showMessage(const QString& text) {
  auto* box =
      new QMessageBox(QMessageBox::Warning, QStringLiteral("vetrule"), text, QMessageBox::Ok, this);
  box->button(QMessageBox::Ok)->setText(vetrule::Tr(QT_TRANSLATE_NOOP("vetrule", "确定")));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}
