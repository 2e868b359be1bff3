// The folder picker opened from a Qt program, on the offscreen platform: the
// test plays the user through the dialog's own widgets.

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "groundkit/groundkit.h"

namespace {

using DialogAction = std::function<void(QFileDialog*)>;

// Runs the action on the picker as soon as it is open; waits no longer than the
// scope lives.
void whenPickerOpens(QObject* scope, DialogAction action) {
  auto* poll = new QTimer(scope);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      if (dialog && dialog->isVisible()) {
        poll->stop();
        poll->deleteLater();
        action(dialog);
        return;
      }
    }
  });
  poll->start(10);
}

void typeAndChoose(QFileDialog* dialog, const QString& text) {
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(name);
  name->setText(text);
  auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  QVERIFY(buttons);
  QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
}

struct Pick {
  int result = -1;
  QString folder;
};

Pick pick(const char* title, QWidget* owner, const QString& root, const QString& initial) {
  QByteArray rootBytes = QFile::encodeName(root);
  QByteArray initialBytes = QFile::encodeName(initial);
  char folder[1024] = "junk";
  Pick picked;
  picked.result = BSCF_ShowFolderSelectDlg(folder, title, owner,
                                           root.isEmpty() ? nullptr : rootBytes.constData(),
                                           initial.isEmpty() ? nullptr : initialBytes.constData());
  picked.folder = QFile::decodeName(folder);
  return picked;
}

}  // namespace

class FolderPickerTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_scope = std::make_unique<QObject>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_top = QDir(m_dir->path()).canonicalPath();
    for (const char* folder : {"inside/a", "inside/b", "outside"})
      QVERIFY(QDir(m_top).mkpath(folder));
    QVERIFY(QFile::link(m_top + "/outside", m_top + "/inside/leads-out"));
  }
  void cleanup() {
    m_scope.reset();
    m_dir.reset();
  }

  void choosesTheFolderTheUserEnters() {
    QString title;
    whenPickerOpens(m_scope.get(), [&](QFileDialog* dialog) {
      title = dialog->windowTitle();
      typeAndChoose(dialog, m_top + "/inside/b");
    });
    Pick picked = pick("选择文件夹", nullptr, QString(), m_top + "/inside");
    QCOMPARE(picked.result, 1);
    QCOMPARE(picked.folder, m_top + "/inside/b");
    QCOMPARE(title, QStringLiteral("选择文件夹"));
  }

  void cancelEmptiesTheOutput() {
    whenPickerOpens(m_scope.get(), [](QFileDialog* dialog) { dialog->reject(); });
    Pick picked = pick("Folder", nullptr, QString(), m_top);
    QCOMPARE(picked.result, 0);
    QCOMPARE(picked.folder, QString());
  }

  void opensAtTheInitialFolderAndChoosesIt() {
    QString shown;
    whenPickerOpens(m_scope.get(), [&](QFileDialog* dialog) {
      shown = dialog->directory().absolutePath();
      auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
      QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
    });
    Pick picked = pick("Folder", nullptr, QString(), m_top + "/inside/a");
    QCOMPARE(shown, m_top + "/inside/a");
    QCOMPARE(picked.result, 1);
    QCOMPARE(picked.folder, m_top + "/inside/a");
  }

  void sitsOnItsOwner() {
    QWidget owner;
    owner.show();
    QWidget* parent = nullptr;
    whenPickerOpens(m_scope.get(), [&](QFileDialog* dialog) {
      parent = dialog->parentWidget();
      dialog->reject();
    });
    pick("Folder", &owner, QString(), m_top);
    QCOMPARE(parent, &owner);
  }

  // Neither "..", nor a typed path, nor a link leads the user out of the root;
  // a folder inside it can still be chosen.
  void staysInsideTheRoot_data() {
    QTest::addColumn<QString>("escape");
    QTest::newRow("absolute path") << QStringLiteral("%1/outside");
    QTest::newRow("dot-dot") << QStringLiteral("%1/inside/../outside");
    QTest::newRow("link") << QStringLiteral("%1/inside/leads-out");
    QTest::newRow("the root's parent") << QStringLiteral("%1");
  }
  void staysInsideTheRoot() {
    QFETCH(QString, escape);
    QString root = m_top + "/inside";
    QString started, afterEscape, afterUp;
    whenPickerOpens(m_scope.get(), [&](QFileDialog* dialog) {
      started = dialog->directory().absolutePath();
      typeAndChoose(dialog, escape.arg(m_top));
      afterEscape =
          dialog->isVisible() ? dialog->directory().absolutePath() : QStringLiteral("accepted");
      if (auto* up = dialog->findChild<QToolButton*>(QStringLiteral("toParentButton"))) {
        up->click();
        afterUp = dialog->directory().absolutePath();
      }
      typeAndChoose(dialog, root + "/a");
    });
    // An initial folder outside the root is not where the picker starts.
    Pick picked = pick("Folder", nullptr, root, m_top + "/outside");
    QCOMPARE(started, root);
    QCOMPARE(afterEscape, root);
    QCOMPARE(afterUp, root);
    QCOMPARE(picked.result, 1);
    QCOMPARE(picked.folder, root + "/a");
  }

  void rootThatIsNoFolderOpensNothing() {
    bool opened = false;
    whenPickerOpens(m_scope.get(), [&](QFileDialog* dialog) {
      opened = true;
      dialog->reject();
    });
    Pick picked = pick("Folder", nullptr, m_top + "/missing", QString());
    QCOMPARE(picked.result, 0);
    QCOMPARE(picked.folder, QString());
    QCoreApplication::processEvents();
    QVERIFY(!opened);
  }

  // A path longer than the output holds is not cut into the name of another
  // folder.
  void folderTooLongForTheOutputIsNotReturned() {
    QString deep = m_top;
    while (QFile::encodeName(deep).size() <= 1100) deep += "/" + QString(200, QLatin1Char('d'));
    QVERIFY(QDir().mkpath(deep));
    whenPickerOpens(m_scope.get(), [](QFileDialog* dialog) {
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    });
    Pick picked = pick("Folder", nullptr, QString(), deep);
    QCOMPARE(picked.result, 0);
    QCOMPARE(picked.folder, QString());
  }

  // A worker thread of the host gets the dialog shown on the GUI thread and
  // waits for the answer.
  void opensFromAWorkerThread() {
    whenPickerOpens(m_scope.get(), [&](QFileDialog* dialog) {
      QCOMPARE(dialog->thread(), QApplication::instance()->thread());
      typeAndChoose(dialog, m_top + "/inside/a");
    });
    Pick picked;
    std::atomic<bool> done{false};
    std::thread worker([&] {
      picked = pick("Folder", nullptr, QString(), m_top);
      done = true;
    });
    QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 20000));
    worker.join();
    QCOMPARE(picked.result, 1);
    QCOMPARE(picked.folder, m_top + "/inside/a");
  }

 private:
  std::unique_ptr<QObject> m_scope;
  std::unique_ptr<QTemporaryDir> m_dir;
  QString m_top;
};

#if defined(__SANITIZE_ADDRESS__)
// The font library keeps memory to the end of the process; nothing of ours is
// hidden by this.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif

QTEST_MAIN(FolderPickerTest)
#include "folder_picker_test.moc"
