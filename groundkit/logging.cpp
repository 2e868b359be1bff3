// Daily log files in "log" beside the executable (elsewhere for an installed program: see
// logDirectory), and the debug channel to a monitor process.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "groundkit/groundkit.h"
#include "internal/bounded_copy.h"
#include "platform/append_file.h"
#include "platform/files.h"
#include "platform/local_channel.h"
#include "platform/local_time.h"
#include "text_format/formatted.h"

namespace {

struct LogFile {
  unsigned int kind;
  const char* name;
  bool dated;  // a new file each day: "<name> <YYYY-MM-DD>.log"
};

constexpr LogFile kLogFiles[] = {
    {1, "System", true},         {2, "SendFax", true},          {3, "RecFax", true},
    {4, "SendMail", true},       {5, "Debug_FaxDevC", false}, {6, "Debug_MissionC", false},
    {7, "Connect", true},        {8, "Forward", true},
};
constexpr LogFile kOtherKinds{0, "Debug", false};

// Kinds written only while their environment variable holds a non-zero number.
constexpr unsigned int kFaxDeviceKind = 5;
constexpr unsigned int kMissionKind = 6;

const LogFile& logFileOf(unsigned int kind) {
  for (const LogFile& file : kLogFiles) {
    if (file.kind == kind) return file;
  }
  return kOtherKinds;
}

std::string formatTime(const char* format, const std::tm& time) {
  char text[128];
  return std::string(text, std::strftime(text, sizeof text, format, &time));
}

// The log directory "-" sends the lines to standard error instead (a service: the journal keeps them).
constexpr char kStandardError[] = "-";

// The folders where an installed system keeps its programs: no place for files that change.
bool isSystemProgramFolder(const std::string& folder) {
  for (const char* system : {"/usr/bin", "/usr/sbin", "/usr/local/bin", "/usr/local/sbin", "/bin", "/sbin"})
    if (folder == system) return true;
  return false;
}

// Every folder of the path, parents first; failures show when the file is written.
void createDirectories(const std::string& path) {
  for (std::size_t sep = path.find('/', 1); sep != std::string::npos; sep = path.find('/', sep + 1))
    platform::createDirectory(path.substr(0, sep));
  platform::createDirectory(path);
}

// $MAILSIGNOFF_LOG_DIR when set; else "log" beside the program, unless the program lies in a
// system folder (installed from a package): then $XDG_STATE_HOME/mailsignoff/log, by default
// ~/.local/state/mailsignoff/log.
std::string logDirectory() {
  if (const char* given = std::getenv("MAILSIGNOFF_LOG_DIR"); given != nullptr && *given != '\0') {
    std::string directory = given;
    if (directory != kStandardError) createDirectories(directory);
    return directory;
  }
  char application[groundkit::kBoundedCopyMax + 1];
  BSCF_GetApplicationPath("", application);
  if (isSystemProgramFolder(application)) {
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/')
      state = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
      state = std::string(home) + "/.local/state";
    else
      return kStandardError;
    std::string directory = state + "/mailsignoff/log";
    createDirectories(directory);
    return directory;
  }
  std::string directory = std::string(application) + "/log";
  platform::createDirectory(directory);  // usually there already; a failure shows when writing
  return directory;
}

std::string logFileName(unsigned int kind, const std::tm& now) {
  const LogFile& file = logFileOf(kind);
  return file.dated ? std::string(file.name) + " " + formatTime("%Y-%m-%d", now) : file.name;
}

std::string logFilePath(unsigned int kind, const std::tm& now) {
  const std::string directory = logDirectory();
  if (directory == kStandardError) return "/dev/stderr";
  return directory + "/" + logFileName(kind, now) + ".log";
}

// The leading decimal number of the variable; 0 when it is unset, empty or not a number.
int environmentNumber(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return 0;
  long number = std::strtol(value, nullptr, 10);
  return static_cast<int>(std::clamp<long>(number, INT_MIN, INT_MAX));
}

// Lost silently when the file cannot be written: logging never fails its caller.
void appendLogLine(std::string_view text, unsigned int kind, const std::tm& now) {
  if (BSCF_IsStartRecordLog(kind) == 0) return;
  if (logDirectory() == kStandardError) {
    // One line each, named by its log: "SendMail 2026-12-09: ...".
    std::string line = logFileName(kind, now) + ": ";
    line.append(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    return;
  }
  std::string line(text);
  line += "\r\n";
  platform::appendToFile(logFilePath(kind, now), line);
}

using text_format::formatted;

// The block of one debug line as the monitor receives it, integers in the machine's byte order.
struct DebugBlock {
  char text[4096];  // at most 4,095 characters and the terminating zero
  std::int32_t first;
  std::int32_t second;
  std::int32_t third;
};
static_assert(sizeof(DebugBlock) == 4108, "the monitor expects 4,108 bytes");

// A live monitor answers at once; this only stops a hung one from blocking the caller for ever.
constexpr unsigned long kDebugAnswerTimeoutMs = 2000;

}  // namespace

extern "C" {

void BSCF_GetLoggingFile(unsigned int kind, char* path) {
  groundkit::boundedCopy(path, logFilePath(kind, platform::localTimeNow()));
}

int BSCF_IsStartRecordLog(unsigned int kind) {
  if (kind == kFaxDeviceKind) return environmentNumber("FAXDEVCD");
  if (kind == kMissionKind) return environmentNumber("MISSIONCD");
  return 1;
}

void BSCF_LoggingInfo0(const char* text, unsigned int kind) {
  if (text == nullptr) return;
  appendLogLine(text, kind, platform::localTimeNow());
}

void BSCF_LoggingInfo1(const char* text, unsigned int kind) {
  if (text == nullptr) return;
  std::tm now = platform::localTimeNow();
  appendLogLine(formatTime("%x %X", now) + "\t" + text, kind, now);
}

void BSCF_LoggingInfo2(const char* format, int argument, unsigned int kind) {
  if (format == nullptr) return;
  BSCF_LoggingInfo0(formatted(format, argument).c_str(), kind);
}

void BSCF_LoggingInfo3(const char* format, int first, int second, unsigned int kind) {
  if (format == nullptr) return;
  BSCF_LoggingInfo0(formatted(format, first, second).c_str(), kind);
}

int BSCF_SendMessageData(DebugWindow window, const char* text, int first, int second, int third) {
  if (window == nullptr || text == nullptr) return 0;
  DebugBlock block{};
  const char* textEnd = std::find(text, text + sizeof block.text, '\0');
  if (textEnd == text + sizeof block.text) return 0;  // 4,096 characters or more
  std::copy(text, textEnd, block.text);
  block.first = first;
  block.second = second;
  block.third = third;
  std::int32_t answer = 0;
  if (!platform::localChannelCall(window, &block, sizeof block, answer, kDebugAnswerTimeoutMs)) return 0;
  return answer;
}

}  // extern "C"
