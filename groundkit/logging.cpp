// Daily log files in "log" beside the executable, and the debug channel to a monitor process.

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

std::string logDirectory() {
  char application[groundkit::kBoundedCopyMax + 1];
  BSCF_GetApplicationPath("", application);
  std::string directory = std::string(application) + "/log";
  platform::createDirectory(directory);  // usually there already; a failure shows when writing
  return directory;
}

std::string logFilePath(unsigned int kind, const std::tm& now) {
  const LogFile& file = logFileOf(kind);
  std::string name = file.dated ? std::string(file.name) + " " + formatTime("%Y-%m-%d", now) : file.name;
  return logDirectory() + "/" + name + ".log";
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
