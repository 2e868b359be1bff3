// The dialogs driven as the administrator drives them, in a directory laid out like the mail
// server's: App/cfrules.dat (the current directory) and Users/<domain>/<mailbox>/.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "core/rule_file_writer.h"
#include "dialogs/about_dlg.h"
#include "dialogs/user_sel_dlg.h"
#include "dialogs/vetrule_dlg.h"
#include "expected_rules.h"
#include "temp_dir.h"

using vetrule_test::section;
using vetrule_test::signOffSection;

namespace {

// What a test saw of one run of the user selection dialog.
struct Selection {
  bool opened = false;
  QStringList offered;
  QStringList ticked;  // in list order
};

QStringList texts(const QListWidget* list) {
  QStringList all;
  for (int row = 0; row < list->count(); ++row) all << list->item(row)->text();
  return all;
}

std::string signOffRule(const std::string& supervisor, const std::string& users) {
  return "RuleName=Sign_0_" + supervisor + "\r\nCondition01=FROM|contains|OR|" + users +
         "\r\nAction01=copy to|\"" + supervisor + "\"\r\n";
}

}  // namespace

class VetruleDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void loadsSupervisorsLastRuleFirstWithTheirUsers();
  void missingRuleFileShowsTheErrorAndSaveCreatesTheFile();
  void addSupervisorOffersOnlyAddressesNotYetListed();
  void deleteSupervisorRemovesItAndItsUsers();
  void addUserTakesSeveralAndNeverOffersThemTwice();
  void addUserWithoutSelectedSupervisorDoesNothing();
  void deleteUserRemovesEverySelectedUser();
  void cancelLeavesTheRuleFileUntouched();
  void saveWritesTheRulesAndCloses();
  void saveWaitsForTheLoader();
  void failedSaveSaysSoAndKeepsTheDialogOpen();
  void offersNoFolderThatARuleCannotHold();
  void refusesToSaveARuleThatWouldNotReadBack();
  void dialogsGrowSoThatLongAddressesShow();
  void emptyChooserSaysWhy_data();
  void emptyChooserSaysWhy();
  void screenshots();

 private:
  void writeRuleFile(const std::string& text) { testsupport::writeFile(m_ruleFile, text); }
  std::string ruleFile() const { return testsupport::readFile(m_ruleFile); }

  // A shown main dialog with the rule file loaded.
  std::unique_ptr<CvetruleDlg> openDialog();
  static QListWidget* list(QWidget* dialog, const char* name) {
    return dialog->findChild<QListWidget*>(QLatin1StringView(name));
  }
  static void click(QWidget* dialog, const char* button) {
    QTest::mouseClick(dialog->findChild<QPushButton*>(QLatin1StringView(button)), Qt::LeftButton);
  }
  // Answers the next user selection dialog: ticks these addresses, then OK (or Cancel).
  static std::shared_ptr<Selection> answerSelection(const QStringList& tick, bool ok = true);

  std::unique_ptr<testsupport::TempDir> m_dir;
  QString m_startDirectory;
  std::string m_ruleFile;
};

std::unique_ptr<CvetruleDlg> VetruleDialogsTest::openDialog() {
  auto dialog = std::make_unique<CvetruleDlg>();
  dialog->show();
  dialog->finishLoading();
  return dialog;
}

std::shared_ptr<Selection> VetruleDialogsTest::answerSelection(const QStringList& tick, bool ok) {
  auto seen = std::make_shared<Selection>();
  QTimer::singleShot(0, [seen, tick, ok] {
    auto* dialog = qobject_cast<CUserSelDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    seen->opened = true;
    QListWidget* candidates = list(dialog, "candidateList");
    for (int row = 0; row < candidates->count(); ++row) {
      QListWidgetItem* item = candidates->item(row);
      seen->offered << item->text();
      if (tick.contains(item->text())) {
        item->setCheckState(Qt::Checked);
        seen->ticked << item->text();
      }
    }
    click(dialog, ok ? "ok" : "cancel");
  });
  return seen;
}

void VetruleDialogsTest::init() {
  m_dir = std::make_unique<testsupport::TempDir>();
  for (const char* mailbox : {"Users/d1.com/ann", "Users/d1.com/bob", "Users/d2.com/cid", "App"})
    std::filesystem::create_directories(m_dir->file(mailbox));
  m_startDirectory = QDir::currentPath();
  QVERIFY(QDir::setCurrent(QString::fromStdString(m_dir->file("App"))));
  m_ruleFile = m_dir->file("App/cfrules.dat");
}

void VetruleDialogsTest::cleanup() {
  QDir::setCurrent(m_startDirectory);
  m_dir.reset();
}

void VetruleDialogsTest::loadsSupervisorsLastRuleFirstWithTheirUsers() {
  writeRuleFile("[Rule001]\r\nRuleName=Virus\r\n[Rule002]\r\n" +
                signOffRule("boss1@d1.com", "a1@d1.com|a2@d1.com|") + "[Rule003]\r\n" +
                signOffRule("boss2@d1.com", "b1@d1.com|"));
  auto dialog = openDialog();
  QListWidget* supervisors = list(dialog.get(), "supervisorList");
  QListWidget* users = list(dialog.get(), "userList");
  QCOMPARE(texts(supervisors), QStringList({"boss2@d1.com", "boss1@d1.com"}));
  QVERIFY(texts(users).isEmpty());
  supervisors->setCurrentRow(1);
  QCOMPARE(texts(users), QStringList({"a2@d1.com", "a1@d1.com"}));
  supervisors->setCurrentRow(0);
  QCOMPARE(texts(users), QStringList({"b1@d1.com"}));
}

void VetruleDialogsTest::missingRuleFileShowsTheErrorAndSaveCreatesTheFile() {
  auto dialog = openDialog();
  auto* message = dialog->findChild<QMessageBox*>();
  QVERIFY(message != nullptr);
  QCOMPARE(message->text(),
           QStringLiteral("打开配置文件./cfrules.dat失败.(error code:2),"
                          "请把这个程序复制到MDaemon的App目录下，比如c:\\MDaemon\\App"));
  QCOMPARE(message->standardButtons(), QMessageBox::Ok);
  QCOMPARE(message->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
  message->accept();
  QCOMPARE(list(dialog.get(), "supervisorList")->count(), 0);

  auto supervisor = answerSelection({"ann@d1.com"});
  click(dialog.get(), "addSupervisor");
  list(dialog.get(), "supervisorList")->setCurrentRow(0);
  auto user = answerSelection({"bob@d1.com"});
  click(dialog.get(), "addUser");
  QVERIFY(supervisor->opened && user->opened);
  click(dialog.get(), "save");
  QCOMPARE(ruleFile(),
           signOffSection("Rule001", "Sign_0_ann@d1.com", "ann@d1.com", {"bob@d1.com"}));
}

void VetruleDialogsTest::addSupervisorOffersOnlyAddressesNotYetListed() {
  writeRuleFile("[Rule001]\r\n" + signOffRule("ann@d1.com", "cid@d2.com|"));
  auto dialog = openDialog();
  QListWidget* supervisors = list(dialog.get(), "supervisorList");

  auto cancelled = answerSelection({"bob@d1.com"}, false);
  click(dialog.get(), "addSupervisor");
  QVERIFY(cancelled->opened);
  QCOMPARE(texts(supervisors), QStringList({"ann@d1.com"}));

  auto added = answerSelection({"bob@d1.com", "cid@d2.com"});
  click(dialog.get(), "addSupervisor");
  QCOMPARE(added->offered, QStringList({"bob@d1.com", "cid@d2.com"}));
  QCOMPARE(texts(supervisors), QStringList({"ann@d1.com"}) + added->ticked);

  auto nothingLeft = answerSelection({});
  click(dialog.get(), "addSupervisor");
  QVERIFY(nothingLeft->opened);
  QVERIFY(nothingLeft->offered.isEmpty());
}

void VetruleDialogsTest::deleteSupervisorRemovesItAndItsUsers() {
  writeRuleFile("[A]\r\n" + signOffRule("ann@d1.com", "x1@d1.com|") + "[B]\r\n" +
                signOffRule("bob@d1.com", "x2@d1.com|"));
  auto dialog = openDialog();
  QListWidget* supervisors = list(dialog.get(), "supervisorList");
  supervisors->setCurrentRow(0);
  QCOMPARE(texts(list(dialog.get(), "userList")), QStringList({"x2@d1.com"}));

  click(dialog.get(), "deleteSupervisor");
  QCOMPARE(texts(supervisors), QStringList({"ann@d1.com"}));
  QVERIFY(supervisors->selectedItems().isEmpty());
  QVERIFY(texts(list(dialog.get(), "userList")).isEmpty());

  click(dialog.get(), "deleteSupervisor");  // nothing selected
  QCOMPARE(supervisors->count(), 1);
  click(dialog.get(), "save");
  QCOMPARE(ruleFile(), signOffSection("Rule001", "Sign_0_ann@d1.com", "ann@d1.com", {"x1@d1.com"}));
}

void VetruleDialogsTest::addUserTakesSeveralAndNeverOffersThemTwice() {
  writeRuleFile("");
  auto dialog = openDialog();
  QListWidget* supervisors = list(dialog.get(), "supervisorList");
  QListWidget* users = list(dialog.get(), "userList");
  answerSelection({"ann@d1.com", "bob@d1.com"});
  click(dialog.get(), "addSupervisor");
  int ann = texts(supervisors).indexOf("ann@d1.com");
  int bob = texts(supervisors).indexOf("bob@d1.com");

  // A supervisor is never offered as its own user; the candidates come sorted.
  supervisors->setCurrentRow(ann);
  auto first = answerSelection({"bob@d1.com", "cid@d2.com"});
  click(dialog.get(), "addUser");
  QCOMPARE(first->offered, QStringList({"bob@d1.com", "cid@d2.com"}));
  const QStringList mostRecentFirst({"cid@d2.com", "bob@d1.com"});
  QCOMPARE(texts(users), mostRecentFirst);

  auto second = answerSelection({});
  click(dialog.get(), "addUser");
  QVERIFY(second->opened);
  QVERIFY(second->offered.isEmpty());

  supervisors->setCurrentRow(bob);
  QVERIFY(texts(users).isEmpty());
  auto other = answerSelection({"ann@d1.com"}, false);
  click(dialog.get(), "addUser");
  QCOMPARE(other->offered, QStringList({"ann@d1.com", "cid@d2.com"}));
  QVERIFY(texts(users).isEmpty());

  // Selected again, the supervisor shows its users in the order they were shown before.
  supervisors->setCurrentRow(ann);
  QCOMPARE(texts(users), mostRecentFirst);
  click(dialog.get(), "save");
  std::vector<std::string> written;
  for (const QString& user : mostRecentFirst) written.push_back(user.toStdString());
  QCOMPARE(ruleFile(), signOffSection("Rule001", "Sign_" + std::to_string(ann) + "_ann@d1.com",
                                      "ann@d1.com", written));
}

void VetruleDialogsTest::addUserWithoutSelectedSupervisorDoesNothing() {
  writeRuleFile("[A]\r\n" + signOffRule("ann@d1.com", "x1@d1.com|"));
  auto dialog = openDialog();
  auto selection = answerSelection({"bob@d1.com"});
  click(dialog.get(), "addUser");
  QCoreApplication::processEvents();
  QVERIFY(!selection->opened);
  QVERIFY(texts(list(dialog.get(), "userList")).isEmpty());
  list(dialog.get(), "supervisorList")->setCurrentRow(0);
  QCOMPARE(texts(list(dialog.get(), "userList")), QStringList({"x1@d1.com"}));
}

void VetruleDialogsTest::deleteUserRemovesEverySelectedUser() {
  writeRuleFile("[A]\r\n" + signOffRule("ann@d1.com", "u1@d1.com|u2@d1.com|u3@d1.com|"));
  auto dialog = openDialog();
  list(dialog.get(), "supervisorList")->setCurrentRow(0);
  QListWidget* users = list(dialog.get(), "userList");
  QCOMPARE(texts(users), QStringList({"u3@d1.com", "u2@d1.com", "u1@d1.com"}));
  users->item(0)->setSelected(true);
  users->item(2)->setSelected(true);
  click(dialog.get(), "deleteUser");
  QCOMPARE(texts(users), QStringList({"u2@d1.com"}));
  click(dialog.get(), "save");
  QCOMPARE(ruleFile(), signOffSection("Rule001", "Sign_0_ann@d1.com", "ann@d1.com", {"u2@d1.com"}));
}

void VetruleDialogsTest::cancelLeavesTheRuleFileUntouched() {
  const std::string before =
      "[Rule007]\r\nRuleName=Virus\r\n[Rule008]\r\n" + signOffRule("ann@d1.com", "u1@d1.com|");
  writeRuleFile(before);
  auto dialog = openDialog();
  answerSelection({"bob@d1.com"});
  click(dialog.get(), "addSupervisor");
  click(dialog.get(), "cancel");
  QCOMPARE(dialog->result(), int(QDialog::Rejected));
  QVERIFY(!dialog->isVisible());
  QCOMPARE(ruleFile(), before);
  QCOMPARE(QDir(".").entryList(QDir::Files | QDir::Hidden), QStringList({"cfrules.dat"}));
}

void VetruleDialogsTest::saveWritesTheRulesAndCloses() {
  writeRuleFile("; lines before the first section are not rules\r\n[Rule004]\r\n" +
                signOffRule("ann@d1.com", "u1@d1.com|") + "[Rule009]\r\nRuleName=Virus\r\n");
  auto dialog = openDialog();
  list(dialog.get(), "supervisorList")->setCurrentRow(0);
  answerSelection({"bob@d1.com"});
  click(dialog.get(), "addUser");
  click(dialog.get(), "save");
  QCOMPARE(dialog->result(), int(QDialog::Accepted));
  QVERIFY(!dialog->isVisible());
  QCOMPARE(ruleFile(), section("Rule001", {"RuleName=Virus"}) +
                           signOffSection("Rule002", "Sign_0_ann@d1.com", "ann@d1.com",
                                          {"bob@d1.com", "u1@d1.com"}));
}

void VetruleDialogsTest::saveWaitsForTheLoader() {
  std::string text;
  std::string expected;
  const int count = 500;
  for (int i = 0; i < count; ++i) {
    std::string supervisor = "boss" + std::to_string(i) + "@d1.com";
    text += "[R]\r\n" + signOffRule(supervisor, "u@d1.com|");
    // Listed last rule first, so the last supervisor of the file takes position 0.
    int position = count - 1 - i;
    expected = signOffSection(vetrule::ruleSectionName(position + 1),
                              "Sign_" + std::to_string(position) + "_" + supervisor, supervisor,
                              {"u@d1.com"}) +
               expected;
  }
  writeRuleFile(text);
  CvetruleDlg dialog;  // saved at once, before any event is processed
  dialog.findChild<QPushButton*>("save")->click();
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(ruleFile(), expected);
}

void VetruleDialogsTest::failedSaveSaysSoAndKeepsTheDialogOpen() {
  writeRuleFile("[A]\r\n" + signOffRule("ann@d1.com", "u1@d1.com|"));
  auto dialog = openDialog();
  std::filesystem::remove_all(m_dir->file("App"));  // no place left to write the new file
  click(dialog.get(), "save");
  QVERIFY(dialog->isVisible());
  auto* message = dialog->findChild<QMessageBox*>();
  QVERIFY(message != nullptr);
  QCOMPARE(message->text(),
           QStringLiteral("保存配置文件./cfrules.dat失败.(error code:3),规则文件未作改动"));
}

void VetruleDialogsTest::offersNoFolderThatARuleCannotHold() {
  for (const char* folder : {"Users/d1.com/ev|il", "Users/d1.com/x\n[Rule999]", "Users/d1.com/a=b",
                             "Users/d1.com/.hidden", "Users/bad|domain.com/dan"})
    std::filesystem::create_directories(m_dir->file(folder));
  writeRuleFile("");
  auto dialog = openDialog();
  auto supervisors = answerSelection({});
  click(dialog.get(), "addSupervisor");
  QCOMPARE(supervisors->offered, QStringList({"ann@d1.com", "bob@d1.com", "cid@d2.com"}));

  answerSelection({"ann@d1.com"});
  click(dialog.get(), "addSupervisor");
  list(dialog.get(), "supervisorList")->setCurrentRow(0);
  auto users = answerSelection({});
  click(dialog.get(), "addUser");
  QCOMPARE(users->offered, QStringList({"bob@d1.com", "cid@d2.com"}));
}

void VetruleDialogsTest::refusesToSaveARuleThatWouldNotReadBack() {
  // A supervisor that only a hand-edited file can hold: the rule would copy to two addresses.
  const std::string before = "[Rule001]\r\nRuleName=Virus\r\n[Rule002]\r\n" +
                             signOffRule("boss|evil@d1.com", "u1@d1.com|");
  writeRuleFile(before);
  auto dialog = openDialog();
  click(dialog.get(), "save");
  QVERIFY(dialog->isVisible());
  auto* message = dialog->findChild<QMessageBox*>();
  QVERIFY(message != nullptr);
  QCOMPARE(message->text(),
           QStringLiteral("保存配置文件./cfrules.dat失败.(error code:87),规则文件未作改动"));
  message->accept();
  QCOMPARE(ruleFile(), before);

  list(dialog.get(), "supervisorList")->setCurrentRow(0);
  click(dialog.get(), "deleteSupervisor");
  click(dialog.get(), "save");
  QCOMPARE(dialog->result(), int(QDialog::Accepted));
  QCOMPARE(ruleFile(), section("Rule001", {"RuleName=Virus"}));
}

// Both dialogs open at their template's size and grow with the window, so that an address longer
// than the list first is can be read whole; its tooltip holds it too.
void VetruleDialogsTest::dialogsGrowSoThatLongAddressesShow() {
  const std::string longMailbox = "procurement.department.east-china.regional-office";
  std::filesystem::create_directories(m_dir->file("Users/subsidiary.example.com.cn/" + longMailbox));
  const QString longAddress = QString::fromStdString(longMailbox + "@subsidiary.example.com.cn");
  writeRuleFile("[Rule001]\r\n" + signOffRule(longAddress.toStdString(), "ann@d1.com|"));
  auto dialog = openDialog();
  QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  QListWidget* supervisors = list(dialog.get(), "supervisorList");
  QListWidgetItem* item = supervisors->item(0);
  QCOMPARE(item->text(), longAddress);
  QCOMPARE(item->toolTip(), longAddress);
  const auto shownWhole = [](QListWidget* in, QListWidgetItem* row) {
    return in->visualItemRect(row).width() >= in->fontMetrics().horizontalAdvance(row->text()) &&
           in->viewport()->rect().contains(in->visualItemRect(row));
  };
  QVERIFY(!shownWhole(supervisors, item));  // the list at the template's size is too narrow
  QVERIFY(dialog->minimumSize() != dialog->maximumSize());
  const QSize opened = dialog->size();
  const int needed = supervisors->fontMetrics().horizontalAdvance(longAddress) + 40;
  dialog->resize(opened.width() - supervisors->width() + needed * 2, opened.height() * 3 / 2);
  QTRY_VERIFY(shownWhole(supervisors, item));
  QVERIFY(list(dialog.get(), "userList")->height() > opened.height() / 2);
  QPushButton* save = dialog->findChild<QPushButton*>(QStringLiteral("save"));
  QVERIFY(dialog->rect().contains(QRect(save->mapTo(dialog.get(), QPoint()), save->size())));

  CUserSelDlg select({}, dialog.get());
  select.show();
  QVERIFY(QTest::qWaitForWindowExposed(&select));
  QListWidget* candidates = list(&select, "candidateList");
  QListWidgetItem* candidate = candidates->findItems(longAddress, Qt::MatchExactly).value(0);
  QVERIFY(candidate != nullptr);
  QVERIFY(select.minimumSize() != select.maximumSize());
  select.resize(select.width() - candidates->width() + needed + 40, select.height());
  QTRY_VERIFY(shownWhole(candidates, candidate));
  QVERIFY(!select.findChild<QLabel*>(QStringLiteral("emptyReason"))->isVisible());
}

// With nothing to tick, the user chooser says why instead of showing an empty list.
void VetruleDialogsTest::emptyChooserSaysWhy_data() {
  QTest::addColumn<QString>("usersFolder");  // "missing", "empty" or "full"
  QTest::addColumn<QStringList>("listed");
  QTest::addColumn<QString>("reason");
  QTest::newRow("missing") << "missing" << QStringList()
                           << "找不到邮件服务器的用户目录%1。请在邮件服务器的App目录下运行这个程序，或用--directory指定该目录。";
  QTest::newRow("no mailbox folders") << "empty" << QStringList() << "用户目录%1中没有邮箱文件夹。";
  QTest::newRow("every mailbox listed")
      << "full" << QStringList({"ann@d1.com", "bob@d1.com", "cid@d2.com"})
      << "用户目录%1中的邮箱都已在列表中。";
}

void VetruleDialogsTest::emptyChooserSaysWhy() {
  QFETCH(QString, usersFolder);
  QFETCH(QStringList, listed);
  QFETCH(QString, reason);
  const std::string users = m_dir->file("Users");
  if (usersFolder != "full") std::filesystem::remove_all(users);
  if (usersFolder == "empty") {
    std::filesystem::create_directories(users + "/d1.com");
    testsupport::writeFile(users + "/d1.com/not-a-mailbox.txt", "x");
  }
  std::vector<std::string> exclusionList;
  for (const QString& address : listed) exclusionList.push_back(address.toStdString());
  CUserSelDlg select(exclusionList);
  select.show();
  QVERIFY(QTest::qWaitForWindowExposed(&select));
  QCOMPARE(list(&select, "candidateList")->count(), 0);
  auto* shown = select.findChild<QLabel*>(QStringLiteral("emptyReason"));
  QVERIFY(shown->isVisible());
  QCOMPARE(shown->text(),
           reason.arg(QDir::toNativeSeparators(QFileInfo(QString::fromStdString(users))
                                                   .absoluteFilePath())));
}

void VetruleDialogsTest::screenshots() {
  QByteArray directory = qgetenv("VETRULE_SCREENSHOT_DIR");
  if (directory.isEmpty()) QSKIP("VETRULE_SCREENSHOT_DIR is not set");
  writeRuleFile("[Rule001]\r\nRuleName=Virus\r\n[Rule002]\r\n" +
                signOffRule("ann@d1.com",
                            "cid@d2.com|张三@d2.com|procurement.east-china.regional-office@"
                            "subsidiary.example.com.cn|") +
                "[Rule003]\r\n" + signOffRule("bob@d1.com", "cid@d2.com|") + "[Rule004]\r\n" +
                signOffRule("procurement.east-china.regional-office@subsidiary.example.com.cn",
                            "cid@d2.com|"));
  auto dialog = openDialog();
  QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  list(dialog.get(), "supervisorList")->setCurrentRow(1);
  const QString base = QString::fromLocal8Bit(directory) + "/";
  QVERIFY(dialog->grab().save(base + "vetrule-main.png"));
  dialog->resize(dialog->width() * 2, dialog->height() * 5 / 4);
  QTest::qWait(50);
  QVERIFY(dialog->grab().save(base + "vetrule-main-wide.png"));

  bool grabbed = false;
  QTimer::singleShot(0, [&] {
    auto* select = qobject_cast<CUserSelDlg*>(QApplication::activeModalWidget());
    if (select == nullptr) return;
    if (!QTest::qWaitForWindowExposed(select)) return;
    list(select, "candidateList")->item(0)->setCheckState(Qt::Checked);
    grabbed = select->grab().save(base + "vetrule-usersel.png");
    select->reject();
  });
  click(dialog.get(), "addUser");
  QVERIFY(grabbed);

  std::filesystem::remove_all(m_dir->file("Users"));
  CUserSelDlg empty({}, dialog.get());
  empty.show();
  QVERIFY(QTest::qWaitForWindowExposed(&empty));
  QVERIFY(empty.grab().save(base + "vetrule-usersel-empty.png"));

  CAboutDlg about(dialog.get());
  about.show();
  QVERIFY(QTest::qWaitForWindowExposed(&about));
  QVERIFY(about.grab().save(base + "vetrule-about.png"));
}

QTEST_MAIN(VetruleDialogsTest)
#include "dialogs_test.moc"
