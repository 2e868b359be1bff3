// The folder dialog of the desktop, in Qt Widgets. Groundkit loads this library
// only when a host opens the picker; a host without a QApplication gets one,
// kept for the rest of the process.

#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMetaObject>
#include <QThread>
#include <QUrl>
#include <cstdlib>
#include <cstring>

#include "internal/folder_picker_api.h"

namespace {

using groundkit::FolderPickerRequest;

QString pathFrom(const char* text) { return text && *text ? QFile::decodeName(text) : QString(); }

// The folder as the file system resolves it (links followed), empty when there
// is none.
QString resolvedFolder(const QString& path) {
  QFileInfo info(path);
  return info.isDir() ? info.canonicalFilePath() : QString();
}

bool isWithin(const QString& root, const QString& path) {
  if (root.isEmpty()) return true;
  QString resolved = resolvedFolder(path);
  if (resolved.isEmpty()) return false;
  return root == QStringLiteral("/") || resolved == root ||
         resolved.startsWith(root + QLatin1Char('/'));
}

// Qt's own folder dialog, kept inside a root folder: the user can neither enter
// nor choose a folder outside it, also not through "..", a typed path or a link
// that leads out.
class ConfinedFolderDialog : public QFileDialog {
 public:
  ConfinedFolderDialog(QWidget* owner, const QString& title, const QString& root)
      : QFileDialog(owner, title), root_(root) {
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    if (root_.isEmpty()) return;
    // A native dialog could not be held inside the root.
    setOption(QFileDialog::DontUseNativeDialog);
    setSidebarUrls({QUrl::fromLocalFile(root_)});
    setHistory({});
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& entered) {
      if (!isWithin(root_, entered)) setDirectory(root_);
    });
  }

  void accept() override {
    const QStringList chosen = selectedFiles();
    if (!root_.isEmpty() && (chosen.isEmpty() || !isWithin(root_, chosen.first()))) {
      setDirectory(root_);
      QApplication::beep();
      return;
    }
    QFileDialog::accept();
  }

 private:
  QString root_;
};

int runDialog(const FolderPickerRequest& request, char* chosen, unsigned long chosenSize) {
  QString root;
  if (request.rootFolder && *request.rootFolder) {
    root = resolvedFolder(pathFrom(request.rootFolder));
    // A root that is not there limits nothing it could be trusted with.
    if (root.isEmpty()) return groundkit::kFolderPickerUnavailable;
  }
  QString title = request.title ? QString::fromUtf8(request.title) : QString();
  ConfinedFolderDialog dialog(static_cast<QWidget*>(request.owner), title, root);

  QString initial = pathFrom(request.initialFolder);
  if (!initial.isEmpty() && QFileInfo(initial).isDir() && isWithin(root, initial))
    dialog.setDirectory(QDir::cleanPath(QDir(initial).absolutePath()));
  else if (!root.isEmpty())
    dialog.setDirectory(root);

  if (dialog.exec() != QDialog::Accepted) return groundkit::kFolderCancelled;
  const QStringList selected = dialog.selectedFiles();
  if (selected.isEmpty()) return groundkit::kFolderCancelled;
  QByteArray path = QFile::encodeName(QDir::cleanPath(selected.first()));
  if (static_cast<unsigned long>(path.size()) >= chosenSize) return groundkit::kFolderPathTooLong;
  std::memcpy(chosen, path.constData(), path.size() + 1);
  return groundkit::kFolderChosen;
}

// Whether a QApplication can start here: Qt ends the process when it finds no
// display.
bool displayAvailable() {
  const char* platformName = std::getenv("QT_QPA_PLATFORM");
  if (platformName && *platformName) return true;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland) return true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  bool reachable = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return reachable;
}

QApplication* widgetApplication() {
  if (QCoreApplication::instance() == nullptr) {
    if (!displayAvailable()) return nullptr;
    static int argc = 1;
    static char name[] = "groundkit";
    static char* argv[] = {name, nullptr};
    static QApplication* created = new QApplication(argc, argv);
    return created;
  }
  // A QCoreApplication or QGuiApplication cannot show widgets.
  return qobject_cast<QApplication*>(QCoreApplication::instance());
}

}  // namespace

extern "C" FOLDER_PICKER_API int GroundkitPickFolder(const FolderPickerRequest* request,
                                                     char* chosen, unsigned long chosenSize) {
  if (request == nullptr || chosen == nullptr || chosenSize == 0)
    return groundkit::kFolderPickerUnavailable;
  chosen[0] = '\0';
  QApplication* application = widgetApplication();
  if (application == nullptr) return groundkit::kFolderPickerUnavailable;
  if (QThread::currentThread() == application->thread())
    return runDialog(*request, chosen, chosenSize);
  // Widgets live on the GUI thread: a worker thread of the host waits there for
  // the answer.
  int result = groundkit::kFolderPickerUnavailable;
  QMetaObject::invokeMethod(
      application, [&] { result = runDialog(*request, chosen, chosenSize); },
      Qt::BlockingQueuedConnection);
  return result;
}
