// Behaviour that only the Windows build has: drive letters and backslashes in paths, files with
// CRLF line ends, the error numbers as the OS reports them, and the copy-data channel.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/local_channel.h"
#include "platform/new_file.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "platform/tcp_listener.h"
#include "platform/whole_file.h"
#include "temp_dir.h"

namespace {

using testsupport::TempDir;
using testsupport::writeFile;

std::string backslashed(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST(WindowsLastError, IsTheThreadsOwnSystemValue) {
  platform::setLastError(1234);
  EXPECT_EQ(::GetLastError(), 1234u);
  ::SetLastError(4321);
  EXPECT_EQ(platform::lastError(), 4321u);
  unsigned long otherThread = 0;
  std::thread([&] { otherThread = platform::lastError(); }).join();
  EXPECT_EQ(otherThread, 0u);
}

struct PathCase {
  const char* name;
  std::string (*path)(const TempDir&);
};

class WindowsPaths : public ::testing::TestWithParam<PathCase> {};

// The same file reached with either separator, mixed ones and a trailing pattern.
TEST_P(WindowsPaths, FindAndReadWithEitherSeparator) {
  TempDir dir;
  platform::createDirectory(dir.file("sub"));
  writeFile(dir.file("sub/QV000000001.eml"), "body");
  const std::string path = GetParam().path(dir);
  std::string contents;
  EXPECT_TRUE(platform::readWholeFile(path, contents)) << path << " " << platform::lastError();
  EXPECT_EQ(contents, "body");
  EXPECT_TRUE(platform::fileExists(path));
  const std::string folder = path.substr(0, path.find_last_of("/\\"));
  const auto found = platform::findFiles(folder + "\\*.EML");
  ASSERT_EQ(found.size(), 1u) << folder;
  EXPECT_EQ(found[0].name, "QV000000001.eml");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsPaths,
    ::testing::Values(
        PathCase{"Slashes", [](const TempDir& d) { return d.file("sub/QV000000001.eml"); }},
        PathCase{"Backslashes",
                 [](const TempDir& d) { return backslashed(d.file("sub/QV000000001.eml")); }},
        PathCase{"Mixed", [](const TempDir& d) { return d.path() + "\\sub/QV000000001.eml"; }},
        PathCase{"DotDot",
                 [](const TempDir& d) { return d.path() + "\\sub\\..\\sub\\QV000000001.eml"; }}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(WindowsPaths, DriveRootsAndTheirFolders) {
  EXPECT_TRUE(platform::isDirectory("C:\\"));
  EXPECT_TRUE(platform::isDirectory("C:/"));
  EXPECT_TRUE(platform::isDirectory("c:\\WINDOWS"));
  bool windowsFolder = false;
  for (const platform::DirEntry& e : platform::findFiles("C:\\*"))
    if (platform::wildcardMatch("windows", e.name)) windowsFolder = e.isDirectory;
  EXPECT_TRUE(windowsFolder);
  const std::string exe = platform::executablePath();
  ASSERT_GE(exe.size(), 3u);
  EXPECT_EQ(exe[1], ':') << exe;
  EXPECT_EQ(exe[2], '\\') << exe;
}

TEST(WindowsPaths, PluginNamesAreDllNames) {
  EXPECT_EQ(platform::sharedObjectName("Sorvane.dll"), "Sorvane.dll");
  EXPECT_EQ(platform::sharedObjectName("Local.DLL"), "Local.DLL");
  EXPECT_EQ(platform::sharedObjectName("plain"), "plain.dll");
  EXPECT_EQ(platform::sharedObjectName("C:\\plugins\\x.dll"), "x.dll");
  const auto self = platform::loadedModulePath("mailplatform");
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->substr(0, self->find_last_of('\\')), platform::executableDirectory());
}

struct ErrorCase {
  const char* name;
  bool (*fails)(const TempDir&);
  unsigned long error;
};

class WindowsErrors : public ::testing::TestWithParam<ErrorCase> {};

// Failures carry the number the OS gave, unchanged.
TEST_P(WindowsErrors, ComeStraightFromTheSystem) {
  TempDir dir;
  writeFile(dir.file("present.txt"), "x");
  platform::createDirectory(dir.file("folder"));
  platform::setLastError(0);
  EXPECT_TRUE(GetParam().fails(dir));
  EXPECT_EQ(platform::lastError(), GetParam().error);
}

std::string unused;

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsErrors,
    ::testing::Values(
        ErrorCase{"FileNotFound",
                  [](const TempDir& d) { return !platform::readWholeFile(d.file("none"), unused); },
                  ERROR_FILE_NOT_FOUND},
        ErrorCase{"PathNotFound",
                  [](const TempDir& d) {
                    return !platform::readWholeFile(d.file("none\\x.txt"), unused);
                  },
                  ERROR_PATH_NOT_FOUND},
        ErrorCase{
            "DirectoryAsFile",
            [](const TempDir& d) { return !platform::readWholeFile(d.file("folder"), unused); },
            ERROR_ACCESS_DENIED},
        ErrorCase{"FolderExists",
                  [](const TempDir& d) { return !platform::createDirectory(d.file("folder")); },
                  ERROR_ALREADY_EXISTS},
        ErrorCase{"CreateNewOverExisting",
                  [](const TempDir& d) {
                    return platform::createNewFile(d.file("present.txt")) == nullptr;
                  },
                  ERROR_FILE_EXISTS},
        ErrorCase{"DeleteMissing",
                  [](const TempDir& d) { return !platform::deleteFile(d.file("none")); },
                  ERROR_FILE_NOT_FOUND},
        ErrorCase{"ReplaceInMissingFolder",
                  [](const TempDir& d) {
                    return !platform::replaceWholeFile(d.file("none\\x.ini"), "x");
                  },
                  ERROR_PATH_NOT_FOUND},
        ErrorCase{"NoSuchModule",
                  [](const TempDir&) { return platform::loadLibrary("NoSuchPlugin") == nullptr; },
                  ERROR_MOD_NOT_FOUND},
        ErrorCase{"ConnectionRefused",
                  [](const TempDir&) {
                    platform::TcpListener listener;
                    if (!listener.listenLoopback(0)) return false;
                    const std::uint16_t port = listener.port();
                    listener.close();
                    const platform::SocketHandle s = platform::tcpSocket();
                    const bool refused = !platform::connectTcp(s, "127.0.0.1", port);
                    platform::closeSocket(s);
                    return refused;
                  },
                  WSAECONNREFUSED}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(WindowsProfile, CrlfFilesReadAndKeepTheirLineEnds) {
  TempDir dir;
  const std::string ini = backslashed(dir.file("Signer.ini"));
  writeFile(ini, "[Login]\r\nUserName = boss \r\nServer=\"mail.example.test\"\r\n");
  char value[64];
  EXPECT_EQ(
      platform::getPrivateProfileString("login", "username", "", value, sizeof value, ini.c_str()),
      4u);
  EXPECT_STREQ(value, "boss");
  EXPECT_EQ(platform::getPrivateProfileString("Login", "Server", "", ini.c_str()),
            "mail.example.test");
  ASSERT_TRUE(platform::writePrivateProfileString("Login", "Port", "110", ini.c_str()));
  ASSERT_TRUE(platform::writePrivateProfileString("LOGIN", "USERNAME", "chief", ini.c_str()));
  std::string text;
  ASSERT_TRUE(platform::readWholeFile(ini, text));
  EXPECT_NE(text.find("[Login]\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Server=\"mail.example.test\"\r\n"), std::string::npos) << text;
  EXPECT_EQ(platform::getPrivateProfileString("Login", "UserName", "", ini.c_str()), "chief");
  EXPECT_EQ(platform::getPrivateProfileInt("Login", "Port", 0, ini.c_str()), 110);
  EXPECT_FALSE(platform::writePrivateProfileString("Login", "Bad", "a\r\nb", ini.c_str()));
  EXPECT_EQ(platform::lastError(), 87u);
}

// The debug channel's server is a window; a client reaches it through the file that names it or
// through the handle itself.
TEST(WindowsChannel, CopyDataReachesTheWindowByPathAndByHandle) {
  TempDir dir;
  const std::string path = dir.file("monitor.hwnd");
  platform::LocalChannelServer server;
  ASSERT_TRUE(server.listen(path)) << platform::lastError();
  std::atomic<bool> stop{false};
  std::thread serving([&] {
    while (!stop)
      server.serve(20, [](std::string_view m) { return static_cast<std::int32_t>(m.size() * 2); });
  });
  std::int32_t answer = 0;
  const std::string text(4108, 'x');
  EXPECT_TRUE(platform::localChannelCall(path, text.data(), text.size(), answer, 5000))
      << platform::lastError();
  EXPECT_EQ(answer, 8216);
  std::string handle;
  ASSERT_TRUE(platform::readWholeFile(path, handle));
  EXPECT_TRUE(platform::localChannelCall(handle, "abc", 3, answer, 5000));
  EXPECT_EQ(answer, 6);

  platform::LocalChannelServer second;
  EXPECT_FALSE(second.listen(path));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaAddressInUse);
  stop = true;
  serving.join();
  server.close();
  EXPECT_FALSE(platform::fileExists(path));
  EXPECT_FALSE(platform::localChannelCall(handle, "abc", 3, answer, 1000));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaConnectionRefused);
}

TEST(WindowsChannel, AWindowNobodyServesTimesOut) {
  TempDir dir;
  platform::LocalChannelServer hung;
  ASSERT_TRUE(hung.listen(dir.file("hung.hwnd")));
  std::int32_t answer = 0;
  EXPECT_FALSE(platform::localChannelCall(dir.file("hung.hwnd"), "x", 1, answer, 300));
  EXPECT_EQ(platform::lastError(), platform::err::kWsaTimedOut);
}

}  // namespace
