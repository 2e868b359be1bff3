// A folder's icon: the Desktop.ini entries, and the custom icon that Linux file
// managers read from the desktop's file metadata, read back through GIO on a
// session bus of the test's own.

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "groundkit/groundkit.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

class FolderIcon : public ::testing::Test {
 protected:
  std::string folder() const { return dir_.file("Projects"); }
  std::string desktopIni() const { return folder() + "/Desktop.ini"; }
  void SetUp() override { fs::create_directory(folder()); }
  testsupport::TempDir dir_;
};

TEST_F(FolderIcon, WritesTheShellEntriesOfDesktopIni) {
  BSCF_SetFolderIcon(folder().c_str(), "C:\\Icons\\box.ico", 3);
  EXPECT_EQ(testsupport::readFile(desktopIni()),
            "[.ShellClassInfo]\r\nIconFile=C:\\Icons\\box.ico\r\nIconIndex=3\r\n");
}

TEST_F(FolderIcon, ReplacesItsEntriesAndKeepsTheRestOfDesktopIni) {
  testsupport::writeFile(desktopIni(),
                         "[.ShellClassInfo]\r\nInfoTip=Team "
                         "files\r\nIconFile=old.ico\r\nIconIndex=0\r\n"
                         "[ViewState]\r\nMode=4\r\n");
  BSCF_SetFolderIcon((folder() + "\\").c_str(), "new.ico", -2);
  EXPECT_EQ(testsupport::readFile(desktopIni()),
            "[.ShellClassInfo]\r\nInfoTip=Team "
            "files\r\nIconFile=new.ico\r\nIconIndex=-2\r\n"
            "[ViewState]\r\nMode=4\r\n");
}

// An icon path that would add lines of its own, or a folder that is not there,
// writes nothing.
TEST_F(FolderIcon, RefusedInputWritesNothing) {
  BSCF_SetFolderIcon(folder().c_str(), "box.ico\r\n[Evil]\r\nx=1", 0);
  BSCF_SetFolderIcon(folder().c_str(), "", 0);
  BSCF_SetFolderIcon(nullptr, "box.ico", 0);
  BSCF_SetFolderIcon((folder() + "/missing").c_str(), "box.ico", 0);
  EXPECT_FALSE(fs::exists(desktopIni()));
  EXPECT_FALSE(fs::exists(folder() + "/missing"));
}

// A private session bus whose metadata service keeps its store under the test's
// directory.
class SessionBus {
 public:
  explicit SessionBus(const std::string& dataHome) {
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dataHome.c_str(), 1);
    ::chmod(dataHome.c_str(), 0700);
    FILE* daemon = ::popen(
        "dbus-daemon --session --fork --print-address=1 "
        "--print-pid=1 2>/dev/null",
        "r");
    if (daemon == nullptr) return;
    char address[512] = "", pid[32] = "";
    if (std::fgets(address, sizeof address, daemon) && std::fgets(pid, sizeof pid, daemon)) {
      address_ = address;
      if (!address_.empty() && address_.back() == '\n') address_.pop_back();
      pid_ = std::atoi(pid);
    }
    ::pclose(daemon);
    if (!address_.empty()) ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
  }
  ~SessionBus() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }
  bool running() const { return pid_ > 0; }

 private:
  std::string address_;
  int pid_ = 0;
};

std::string customIcon(const std::string& folder) {
  GFile* file = g_file_new_for_path(folder.c_str());
  GFileInfo* info =
      g_file_query_info(file, "metadata::custom-icon", G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
  std::string icon;
  if (info && g_file_info_has_attribute(info, "metadata::custom-icon"))
    icon = g_file_info_get_attribute_string(info, "metadata::custom-icon");
  if (info) g_object_unref(info);
  g_object_unref(file);
  return icon;
}

TEST_F(FolderIcon, FileManagersSeeItAsTheFoldersCustomIcon) {
  std::string why;
  SessionBus bus(dir_.path());
  if (!bus.running())
    why = "no dbus-daemon (apt-get install dbus)";
  else if (!fs::exists("/usr/libexec/gvfsd-metadata"))
    why = "no file metadata service (apt-get install gvfs)";
  if (!why.empty()) {
    if (std::getenv("CI")) FAIL() << why;
    GTEST_SKIP() << why;
  }
  testsupport::writeFile(dir_.file("box.png"), "png");

  BSCF_SetFolderIcon(folder().c_str(), dir_.file("box.png").c_str(), 0);
  EXPECT_EQ(customIcon(folder()), "file://" + dir_.file("box.png"));

  // A relative icon path is taken from the folder, as the shell takes the one
  // in Desktop.ini.
  fs::create_directory(folder() + "/icons");
  BSCF_SetFolderIcon(folder().c_str(), "icons\\own.png", 1);
  EXPECT_EQ(customIcon(folder()), "file://" + folder() + "/icons/own.png");
}

// ---- File times ----

TEST(FileCreateTime, IsTheFilesTimeAndZeroWhenItCannotBeRead) {
  testsupport::TempDir dir;
  std::string file = dir.file("note.txt");
  long long before = static_cast<long long>(std::time(nullptr));
  testsupport::writeFile(file, "x");
  long long created = BSCF_GetFileCreateTime(file.c_str());
  EXPECT_GE(created, before - 2);
  EXPECT_LE(created, static_cast<long long>(std::time(nullptr)) + 2);
  EXPECT_GT(BSCF_GetFileCreateTime(dir.path().c_str()), 0);

  for (const char* unreadable : {"", "/no/such/file", static_cast<const char*>(nullptr)})
    EXPECT_EQ(BSCF_GetFileCreateTime(unreadable), 0) << (unreadable ? unreadable : "(null)");
}

TEST(RemoveIllegalChar, LeavesTheTextAlone) {
  char text[] = "a:b*c?\"<>|\r\n";
  BSCF_RemoveIllegalChar(text);
  BSCF_RemoveIllegalChar(nullptr);
  EXPECT_STREQ(text, "a:b*c?\"<>|\r\n");
}

}  // namespace
