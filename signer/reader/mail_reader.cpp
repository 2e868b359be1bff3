#include "reader/mail_reader.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace {

constexpr char kMailType[] = "message/rfc822";
// How long a reader that is ended may take to go before it is forced.
constexpr unsigned long kEndGraceMs = 100;

void KeepPid(GDesktopAppInfo*, GPid pid, gpointer data) { *static_cast<GPid*>(data) = pid; }

}  // namespace

long LaunchMailReader(const std::string& path) {
  GAppInfo* reader = g_app_info_get_default_for_type(kMailType, FALSE);
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
  const long pid = LaunchMailReader(path);
  m_process = pid > 0 ? std::make_unique<platform::ChildProcess>(pid) : nullptr;
  return m_process != nullptr;
}

bool CMailReader::ExitCode(unsigned long& code) { return m_process && m_process->exitCode(code); }

void CMailReader::End() {
  if (m_process) m_process->terminate(0, kEndGraceMs);
}
