// The desktop's mail reader: which application is taken for message/rfc822 (the desktop files,
// mimeapps.list and MIME cache written through the XDG variables), and the read-only copy of the
// task's message that it gets. GIO reads the XDG folders once per process, so each choice runs in a
// process of its own (this program with --open).
#include <sys/stat.h>
#include <unistd.h>

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <cstring>

#include "reader/mail_reader.h"

namespace {

QStringList Lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

void WriteText(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

int Mode(const QString& path) {
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A desktop that the process's environment points at: applications, their MIME cache and the
// user's mimeapps.list, the system's MIME database (which makes message/rfc822 a kind of
// text/plain), a runtime folder and the fake reader's log.
class CDesktop {
 public:
  CDesktop() {
    QDir(m_root.path()).mkpath(QStringLiteral("data/applications"));
    QDir(m_root.path()).mkpath(QStringLiteral("config"));
    QDir(m_root.path()).mkpath(QStringLiteral("system"));
    QFile::link(QStringLiteral("/usr/share/mime"), Path("system/mime"));
  }
  QString Path(const QString& relative) const { return m_root.filePath(relative); }
  QString Runtime() const { return m_runtime.path(); }
  QString Log() const { return Path(QStringLiteral("reader.log")); }

  // An application; exec "reader" is the fake reader, which logs what it opens.
  void AddApplication(const QString& id, const QByteArray& mimeTypes, const QByteArray& exec) {
    const QByteArray program = exec == "reader" ? QFile::encodeName(QCoreApplication::applicationDirPath()) +
                                                      "/signer_fake_mail_reader %f"
                                                : exec;
    WriteText(Path("data/applications/" + id),
              "[Desktop Entry]\nType=Application\nName=" + id.toUtf8() + "\nExec=" + program +
                  "\nMimeType=" + mimeTypes + "\n");
  }
  void Write(const QString& relative, const QByteArray& text) { WriteText(Path(relative), text); }

  void Enter() const {
    qputenv("XDG_DATA_HOME", Path(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", Path(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_DIRS", Path(QStringLiteral("system")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", Path(QStringLiteral("none")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", Runtime().toUtf8());
    qputenv("SIGNER_TEST_READER_LOG", Log().toUtf8());
    qunsetenv("XDG_CURRENT_DESKTOP");
  }

 private:
  QTemporaryDir m_root;
  QTemporaryDir m_runtime;
};

// --open <file>: starts the reader on the file as Signer does and prints "started" with the copy's
// path once the reader has said what it opened, or "none"; then ends it.
int OpenOnce(const char* path) {
  CMailReader reader;
  if (!reader.Open(path)) {
    std::puts("none");
    return 0;
  }
  const QString log = qEnvironmentVariable("SIGNER_TEST_READER_LOG");
  for (int waited = 0; waited < 5000 && Lines(log).isEmpty(); waited += 20) QTest::qSleep(20);
  std::printf("started %s\n", reader.CopyPath().c_str());
  reader.End();
  return 0;
}

}  // namespace

class MailReaderTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    m_desktop.AddApplication(QStringLiteral("mail-reader.desktop"), "message/rfc822;", "reader");
    m_desktop.Write(QStringLiteral("config/mimeapps.list"),
                    "[Default Applications]\nmessage/rfc822=mail-reader.desktop\n");
    m_desktop.Enter();
  }
  void init() { QFile::remove(m_desktop.Log()); }

  // Only an application that is made for mail is taken; GIO's fallback through text/plain to a
  // text editor, which would open the task for editing, leaves the built-in viewer to show it.
  void onlyAnApplicationForMailIsTaken_data() {
    QTest::addColumn<QByteArray>("mimeApps");
    QTest::addColumn<QByteArray>("mimeCache");
    QTest::addColumn<bool>("withReader");  // mail-reader.desktop is installed
    QTest::addColumn<bool>("started");
    const QByteArray editorCache = "[MIME Cache]\ntext/plain=editor.desktop;\n";
    const QByteArray bothCache =
        "[MIME Cache]\ntext/plain=editor.desktop;\nmessage/rfc822=mail-reader.desktop;\n";
    QTest::newRow("a text editor for text/plain only") << QByteArray() << editorCache << false
                                                       << false;
    QTest::newRow("the text editor named the default for mail")
        << QByteArray("[Default Applications]\nmessage/rfc822=editor.desktop\n") << editorCache
        << false << false;
    QTest::newRow("a reader that declares mail") << QByteArray() << bothCache << true << true;
    QTest::newRow("the editor named the default, a reader declares mail")
        << QByteArray("[Default Applications]\nmessage/rfc822=editor.desktop\n") << bothCache << true
        << true;
    QTest::newRow("nothing listed for mail or text") << QByteArray() << QByteArray() << false << false;
  }
  void onlyAnApplicationForMailIsTaken() {
    QFETCH(QByteArray, mimeApps);
    QFETCH(QByteArray, mimeCache);
    QFETCH(bool, withReader);
    QFETCH(bool, started);
    CDesktop desktop;
    desktop.AddApplication(QStringLiteral("editor.desktop"), "text/plain;", "/bin/true %f");
    if (withReader)
      desktop.AddApplication(QStringLiteral("mail-reader.desktop"), "message/rfc822;", "reader");
    if (!mimeApps.isEmpty()) desktop.Write(QStringLiteral("config/mimeapps.list"), mimeApps);
    if (!mimeCache.isEmpty()) desktop.Write(QStringLiteral("data/applications/mimeinfo.cache"), mimeCache);
    const QString task = desktop.Path(QStringLiteral("QV000000001.eml"));
    WriteText(task, "Subject: s\r\n\r\nbody\r\n");

    QProcess open;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] :
         {std::pair{"XDG_DATA_HOME", desktop.Path(QStringLiteral("data"))},
          std::pair{"XDG_CONFIG_HOME", desktop.Path(QStringLiteral("config"))},
          std::pair{"XDG_DATA_DIRS", desktop.Path(QStringLiteral("system"))},
          std::pair{"XDG_CONFIG_DIRS", desktop.Path(QStringLiteral("none"))},
          std::pair{"XDG_RUNTIME_DIR", desktop.Runtime()},
          std::pair{"SIGNER_TEST_READER_LOG", desktop.Log()}})
      environment.insert(QLatin1String(name), value);
    open.setProcessEnvironment(environment);
    open.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open"), task});
    QVERIFY(open.waitForFinished(30000));
    const QString output = QString::fromUtf8(open.readAllStandardOutput()).trimmed();
    if (!started) {
      QCOMPARE(output, QStringLiteral("none"));
      QVERIFY(Lines(desktop.Log()).isEmpty());
    } else {
      QVERIFY2(output.startsWith(QStringLiteral("started ")), qPrintable(output));
      const QStringList log = Lines(desktop.Log());
      QVERIFY(!log.isEmpty());
      QVERIFY(log[0].endsWith(u' ' + output.mid(8)));  // the fake reader opened the copy
    }
    QCOMPARE(Entries(desktop.Runtime()), QStringList());  // ending the reader removed its copy
  }

  // The reader gets a copy that only the user can read, in a folder of the session's runtime
  // folder that only the user can enter; the copy goes when the next task is read, when the reader
  // is ended and with the reader object. The task file stays as it was.
  void theReaderGetsAReadOnlyCopy() {
    QTemporaryDir home;
    const QByteArray message = "Subject: s\r\n\r\nbody\r\n";
    const QString task = home.filePath(QStringLiteral("QV000000001.eml"));
    WriteText(task, message);
    const int taskMode = Mode(task);
    {
      CMailReader reader;
      QVERIFY(reader.Open(task.toStdString()));
      QTRY_COMPARE(Lines(m_desktop.Log()).size(), 1);
      const QString copy = QString::fromStdString(reader.CopyPath());
      QVERIFY(Lines(m_desktop.Log())[0].endsWith(u' ' + copy));
      QCOMPARE(QFileInfo(copy).fileName(), QStringLiteral("QV000000001.eml"));
      QVERIFY(copy.startsWith(m_desktop.Runtime() + u'/'));
      QCOMPARE(Mode(copy), 0400);
      QCOMPARE(Mode(QFileInfo(copy).path()), 0700);
      QFile file(copy);
      QVERIFY(file.open(QIODevice::ReadOnly));
      QCOMPARE(file.readAll(), message);
      if (::geteuid() != 0) QVERIFY(!QFile(copy).open(QIODevice::WriteOnly | QIODevice::Append));

      const QString second = home.filePath(QStringLiteral("QV000000002.eml"));
      WriteText(second, message);
      QVERIFY(reader.Open(second.toStdString()));
      QVERIFY(!QFileInfo::exists(QFileInfo(copy).path()));
      QCOMPARE(Entries(m_desktop.Runtime()).size(), 1);
      QTRY_COMPARE(Lines(m_desktop.Log()).size(), 3);  // open, end, open

      reader.End();
      QTRY_COMPARE(Lines(m_desktop.Log()).size(), 4);
      QVERIFY(reader.CopyPath().empty());
      QCOMPARE(Entries(m_desktop.Runtime()), QStringList());

      QVERIFY(reader.Open(second.toStdString()));
      QCOMPARE(Entries(m_desktop.Runtime()).size(), 1);
      reader.End();
    }
    QCOMPARE(Entries(m_desktop.Runtime()), QStringList());
    QFile file(task);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), message);
    QCOMPARE(Mode(task), taskMode);
  }

  // The copy's name is the task file's when that is a plain name, otherwise a fixed one.
  void theCopyHasAPlainName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("copy");
    QTest::newRow("task file") << "QV000000007.eml" << "QV000000007.eml";
    QTest::newRow("no extension") << "QV000000007" << "QV000000007.eml";
    QTest::newRow("shell characters") << "a b;$(rm x)`.eml" << "message.eml";
    QTest::newRow("hidden") << ".profile" << "message.eml";
    QTest::newRow("not ASCII") << "邮件.eml" << "message.eml";
    QTest::newRow("long") << QString(200, u'q') + ".eml" << "message.eml";
  }
  void theCopyHasAPlainName() {
    QFETCH(QString, name);
    QFETCH(QString, copy);
    QTemporaryDir home;
    const QString task = home.filePath(name);
    WriteText(task, "Subject: s\r\n\r\n");
    CMailReader reader;
    QVERIFY(reader.Open(QFile::encodeName(task).toStdString()));
    const QFileInfo made(QString::fromStdString(reader.CopyPath()));
    QCOMPARE(made.fileName(), copy);
    QCOMPARE(made.path(), QFileInfo(made.path()).absoluteFilePath());
    QVERIFY(made.path().startsWith(m_desktop.Runtime() + u'/'));
    QTRY_VERIFY(!Lines(m_desktop.Log()).isEmpty());
    reader.End();
  }

  // A task file that cannot be read gives no copy and starts no reader.
  void anUnreadableTaskStartsNothing() {
    CMailReader reader;
    QVERIFY(!reader.Open("/no/such/folder/QV000000001.eml"));
    QVERIFY(!reader.HasProcess());
    QCOMPARE(Entries(m_desktop.Runtime()), QStringList());
    QTest::qWait(100);
    QVERIFY(Lines(m_desktop.Log()).isEmpty());
  }

 private:
  CDesktop m_desktop;
};

int main(int argc, char* argv[]) {
  if (argc == 3 && std::strcmp(argv[1], "--open") == 0) return OpenOnce(argv[2]);
  QCoreApplication app(argc, argv);
  MailReaderTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "mail_reader_test.moc"
