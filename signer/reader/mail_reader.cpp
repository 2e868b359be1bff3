#include "reader/mail_reader.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

constexpr char kMailType[] = "message/rfc822";
// How long a reader that is ended may take to go before it is forced.
constexpr unsigned long kEndGraceMs = 100;

void KeepPid(GDesktopAppInfo*, GPid pid, gpointer data) { *static_cast<GPid*>(data) = pid; }

bool DeclaresMail(GAppInfo* app) {
  const char** types = g_app_info_get_supported_types(app);
  for (; types != nullptr && *types != nullptr; ++types)
    if (g_ascii_strcasecmp(*types, kMailType) == 0) return true;
  return false;
}

// The desktop's default for mail when it is made for mail: its own MimeType names message/rfc822, or
// the desktop lists it for that type exactly (the user's association). Otherwise the first
// application listed for the type exactly. GIO's default falls back to the types mail belongs to,
// text/plain among them, and so to a text editor: that one is never taken. Null when none is left.
GAppInfo* MailReaderApp() {
  GAppInfo* reader = g_app_info_get_default_for_type(kMailType, FALSE);
  GList* exact = g_app_info_get_recommended_for_type(kMailType);
  bool listed = false;
  for (GList* app = exact; reader != nullptr && app != nullptr && !listed; app = app->next)
    listed = g_app_info_equal(reader, G_APP_INFO(app->data));
  if (reader != nullptr && !listed && !DeclaresMail(reader)) g_clear_object(&reader);
  if (reader == nullptr && exact != nullptr) reader = G_APP_INFO(g_object_ref(exact->data));
  g_list_free_full(exact, g_object_unref);
  return reader;
}

// The copy's name: the task file's own name when it is a plain one, so that the reader shows it.
QString CopyName(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  bool plain = !name.empty() && name.front() != '.' && name.size() <= 64;
  for (const char c : name)
    plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-');
  QString copy = plain ? QString::fromLatin1(name) : QStringLiteral("message");
  if (!copy.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive)) copy += QLatin1String(".eml");
  return copy;
}

// The session's runtime folder (memory, the user's alone, emptied at logout) where there is one.
QString CopyFolderBase() {
  const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

}  // namespace

long LaunchMailReader(const std::string& path) {
  GAppInfo* reader = MailReaderApp();
  if (reader == nullptr) return 0;
  GPid pid = 0;
  if (G_IS_DESKTOP_APP_INFO(reader)) {
    GFile* file = g_file_new_for_path(path.c_str());
    char* uri = g_file_get_uri(file);
    GList uris{uri, nullptr, nullptr};
    // The reader stays our child until we collect it, so that its exit code can be read.
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD);
    if (!g_desktop_app_info_launch_uris_as_manager(G_DESKTOP_APP_INFO(reader), &uris, nullptr,
                                                   flags, nullptr, nullptr, KeepPid, &pid, nullptr))
      pid = 0;
    g_free(uri);
    g_object_unref(file);
  }
  g_object_unref(reader);
  return pid;
}

CMailReader::CMailReader() = default;

CMailReader::~CMailReader() = default;

bool CMailReader::Open(const std::string& path) {
  End();
  m_process.reset();
  GAppInfo* reader = MailReaderApp();
  if (reader == nullptr) return false;
  g_object_unref(reader);

  // The reader may write what it opens; it gets a copy that only the user may read.
  m_copyFolder = std::make_unique<QTemporaryDir>(
      QDir(CopyFolderBase()).filePath(QStringLiteral("signer-reader-XXXXXX")));
  const QString copy = m_copyFolder->filePath(CopyName(path));
  if (!m_copyFolder->isValid() || !QFile::copy(QFile::decodeName(path.c_str()), copy) ||
      !QFile::setPermissions(copy, QFileDevice::ReadOwner)) {
    RemoveCopy();
    return false;
  }
  m_strCopy = QFile::encodeName(copy).toStdString();
  const long pid = LaunchMailReader(m_strCopy);
  if (pid <= 0) {
    RemoveCopy();
    return false;
  }
  m_process = std::make_unique<platform::ChildProcess>(pid);
  return true;
}

bool CMailReader::ExitCode(unsigned long& code) { return m_process && m_process->exitCode(code); }

void CMailReader::End() {
  if (m_process) m_process->terminate(0, kEndGraceMs);
  RemoveCopy();
}

void CMailReader::RemoveCopy() {
  m_copyFolder.reset();
  m_strCopy.clear();
}
