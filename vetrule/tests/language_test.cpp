// The dialogs in each language, with the language forced as the --language option forces it.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "core/rule_file_reader.h"
#include "core/rule_file_writer.h"
#include "dialogs/about_dlg.h"
#include "dialogs/ui_text.h"
#include "dialogs/user_sel_dlg.h"
#include "dialogs/vetrule_dlg.h"
#include "mailsignoff_version.h"
#include "temp_dir.h"
#include "ui_language.h"

using uilanguage::Language;
Q_DECLARE_METATYPE(uilanguage::Language)

namespace {

QStringList ButtonTexts(QWidget* dialog) {
  QStringList texts;
  for (const QPushButton* button : dialog->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
    texts << button->text();
  return texts;
}

QStringList LabelTexts(QWidget* dialog) {
  QStringList texts;
  for (const QLabel* label : dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
    if (!label->text().isEmpty()) texts << label->text();
  return texts;
}

}  // namespace

class VetruleLanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<testsupport::TempDir>();
    std::filesystem::create_directories(m_dir->file("App"));
    std::filesystem::create_directories(m_dir->file("Users/d1.com/ann"));
    m_startDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(m_dir->file("App"))));
  }
  void cleanup() {
    QDir::setCurrent(m_startDirectory);
    m_dir.reset();
    uilanguage::Install(Language::kChinese, QStringLiteral("vetrule"));
  }

  void textsInTheLanguage_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("zh") << Language::kChinese
                        << QStringList{
                               "Ledra签审设置工具",
                               "主管列表|用户列表",
                               "添加|删除|添加|删除|关于|保存到规则文件|取消",
                               "关于 vetrule(&A)...",
                               "打开配置文件./cfrules.dat失败.(error code:2),请把这个程序复制到"
                               "MDaemon的App目录下，比如c:\\MDaemon\\App|确定",
                               "关于 Ledra签审设置工具|Ledra签审设置工具 " MAILSIGNOFF_VERSION " 版|确定",
                               "用户选择|确定|取消",
                               "找不到邮件服务器的用户目录<Users>。请在邮件服务器的App目录下运行这个程序，或用--directory指定该目录。"};
    QTest::newRow("en") << Language::kEnglish
                        << QStringList{
                               "Ledra Sign-off Setup",
                               "Supervisors|Users",
                               "Add|Delete|Add|Delete|About|Save rules|Cancel",
                               "&About vetrule...",
                               "Could not open the rule file ./cfrules.dat (error code: 2). Copy "
                               "this program into MDaemon's App folder, for example "
                               "c:\\MDaemon\\App|OK",
                               "About Ledra Sign-off Setup|Ledra Sign-off Setup " MAILSIGNOFF_VERSION "|OK",
                               "Select users|OK|Cancel",
                               "The mail server's Users folder <Users> does not exist. Run this "
                               "program in the mail server's App folder, or name that folder with "
                               "--directory."};
  }

  void textsInTheLanguage() {
    QFETCH(Language, language);
    QFETCH(QStringList, expected);
    QVERIFY(uilanguage::Install(language, QStringLiteral("vetrule")));
    // Without a rule file the dialog says so as it opens.
    CvetruleDlg dialog;
    dialog.show();
    dialog.finishLoading();
    QMessageBox* message = nullptr;
    QTRY_VERIFY((message = dialog.findChild<QMessageBox*>()) != nullptr);
    const QString messageShown = message->text() + '|' + message->button(QMessageBox::Ok)->text();
    message->accept();

    QStringList about;
    QTimer::singleShot(0, [&about] {
      auto* shown = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
      if (shown == nullptr) return;
      about << shown->windowTitle() << LabelTexts(shown) << ButtonTexts(shown);
      shown->accept();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("about"))->click();

    // The dialog has a fixed layout: every label and button text must fit its control.
    for (const QPushButton* button :
         dialog.findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
      const int textWidth =
          button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
      QVERIFY2(textWidth + 6 <= button->width(), qPrintable(button->text()));
    }
    for (const QLabel* label : dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
      QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
               qPrintable(label->text()));

    CUserSelDlg select({}, &dialog);
    std::filesystem::remove_all(m_dir->file("Users"));
    CUserSelDlg empty({}, &dialog);
    empty.show();
    const QString reason = empty.findChild<QLabel*>(QStringLiteral("emptyReason"))->text();
    const QByteArray screenshots = qgetenv("VETRULE_SCREENSHOT_DIR");
    if (!screenshots.isEmpty() && QTest::qWaitForWindowExposed(&empty))
      QVERIFY(empty.grab().save(QString::fromLocal8Bit(screenshots) + "/vetrule-usersel-empty-" +
                                QTest::currentDataTag() + ".png"));
    const QStringList shown{dialog.windowTitle(),
                            LabelTexts(&dialog).join('|'),
                            ButtonTexts(&dialog).join('|'),
                            dialog.findChild<QAction*>(QStringLiteral("aboutAction"))->text(),
                            messageShown,
                            about.join('|'),
                            (QStringList{select.windowTitle()} + ButtonTexts(&select)).join('|'),
                            QString(reason).replace(
                                QDir::toNativeSeparators(QFileInfo(QString::fromStdString(
                                                                       m_dir->file("Users")))
                                                             .absoluteFilePath()),
                                QStringLiteral("<Users>"))};
    QCOMPARE(shown, expected);
  }

  // In Chinese the messages are those of the rule-file code, word for word.
  void chineseFailureMessagesAreTheRuleFileCodesOwn() {
    QVERIFY(uilanguage::Install(Language::kChinese, QStringLiteral("vetrule")));
    QCOMPARE(vetrule::openFailureText("./cfrules.dat", 5).toStdString(),
             vetrule::openFailureMessage("./cfrules.dat", 5));
    QCOMPARE(vetrule::saveFailureText("./cfrules.dat", 32).toStdString(),
             vetrule::saveFailureMessage("./cfrules.dat", 32));
    // A path with a placeholder of its own is shown as it is.
    QCOMPARE(vetrule::saveFailureText("./%2%1.dat", 5).toStdString(),
             vetrule::saveFailureMessage("./%2%1.dat", 5));
  }

 private:
  std::unique_ptr<testsupport::TempDir> m_dir;
  QString m_startDirectory;
};

QTEST_MAIN(VetruleLanguageTest)
#include "language_test.moc"
