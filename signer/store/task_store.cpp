#include "store/task_store.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <set>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/whole_file.h"

namespace {

constexpr char kHeadSection[] = "Head";
constexpr char kCounterSection[] = "Indicator";
constexpr char kCounterKey[] = "Id";
constexpr char kMessageExtension[] = ".eml";
constexpr char kHeadExtension[] = ".inf";
constexpr std::size_t kExtensionLength = sizeof kMessageExtension - 1;
constexpr std::size_t kMinimumIdDigits = 9;

// Guards the read-increment-write of the task counters.
std::mutex g_counterLock;

std::string EnsureDirectory(const std::string& path) {
  platform::createDirectory(path);
  return path;
}

unsigned char Byte(const std::string& text, std::size_t index) {
  return static_cast<unsigned char>(text[index]);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text cut to at most maxLength bytes; a UTF-8 character that the cut would split goes whole.
std::string Cut(const std::string& text, std::size_t maxLength) {
  if (text.size() <= maxLength) return text;
  std::size_t lead = maxLength;
  while (lead > 0 && (Byte(text, lead - 1) & 0xC0) == 0x80) --lead;
  if (lead == 0 || Byte(text, lead - 1) < 0xC0) return text.substr(0, maxLength);
  const unsigned char first = Byte(text, lead - 1);
  const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
  return text.substr(0, lead - 1 + length <= maxLength ? maxLength : lead - 1);
}

// A header value as one line of an INI file.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  return text;
}

bool TaskFilesExist(const std::string& dir, const std::string& id) {
  return platform::fileExists(TaskMessagePath(dir, id)) ||
         platform::fileExists(TaskHeadPath(dir, id));
}

// The counter as the text of the file gives it: leading digits after optional blanks, 0 when there
// are none or they carry a minus sign. Nothing when it is beyond 64 bits.
bool ParseCounter(const std::string& text, std::uint64_t& counter) {
  std::size_t i = text.find_first_not_of(" \t");
  counter = 0;
  if (i == std::string::npos) return true;
  if (text[i] == '-') return true;
  if (text[i] == '+') ++i;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (counter > (kMax - digit) / 10) return false;
    counter = counter * 10 + digit;
  }
  return true;
}

// A task's file, or a temporary file written on the way to one.
bool IsTaskFileName(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return lower.ends_with(kMessageExtension) || lower.ends_with(kHeadExtension) ||
         lower.find(".eml.") != std::string::npos || lower.find(".inf.") != std::string::npos;
}

// The id of "<id><extension>" exactly; empty for any other name.
std::string IdOfName(const std::string& name, const char* extension) {
  if (name.size() <= kExtensionLength ||
      name.compare(name.size() - kExtensionLength, kExtensionLength, extension) != 0)
    return "";
  std::string id = name.substr(0, name.size() - kExtensionLength);
  return IsTaskId(id) ? id : "";
}

// Regular files of the directory.
std::set<std::string> FileNames(const std::string& dir) {
  std::set<std::string> names;
  for (const platform::DirEntry& entry : platform::findFiles(dir + "/*"))
    if (!entry.isDirectory) names.insert(entry.name);
  return names;
}

// Task ids in the order they were drawn: by their counters' values, whatever their zero padding.
bool DrawnBefore(const std::string& a, const std::string& b) {
  const std::size_t aStart = std::min(a.find_first_not_of('0', 2), a.size());
  const std::size_t bStart = std::min(b.find_first_not_of('0', 2), b.size());
  const std::size_t aDigits = a.size() - aStart;
  const std::size_t bDigits = b.size() - bStart;
  if (aDigits != bDigits) return aDigits < bDigits;
  const int order = a.compare(aStart, aDigits, b, bStart, bDigits);
  return order != 0 ? order < 0 : a < b;
}

}  // namespace

std::string StoreName(const std::string& user) {
  std::string name = user.substr(0, user.rfind('@'));
  for (char& c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string::npos)
      c = '_';
  }
  return name;
}

std::string HomeDirectory(const std::string& user) {
  return EnsureDirectory("./HOME_" + StoreName(user));
}

std::string QueueDirectory(const std::string& user) {
  return EnsureDirectory(HomeDirectory(user) + "/Queue");
}

std::string IncompleteDirectory(const std::string& dir) { return dir + "/Incomplete"; }

std::string TaskMessagePath(const std::string& dir, const std::string& id) {
  return dir + "/" + id + kMessageExtension;
}

std::string TaskHeadPath(const std::string& dir, const std::string& id) {
  return dir + "/" + id + kHeadExtension;
}

std::string FormatTaskId(const std::string& counter) {
  return "QV" +
         std::string(counter.size() < kMinimumIdDigits ? kMinimumIdDigits - counter.size() : 0,
                     '0') +
         counter;
}

bool IsTaskId(std::string_view id) {
  return id.size() >= 2 + kMinimumIdDigits && id.substr(0, 2) == "QV" &&
         std::all_of(id.begin() + 2, id.end(), IsDigit);
}

std::string TaskIdOfHeadPath(const std::string& headPath) {
  const std::size_t slash = headPath.find_last_of("/\\");
  return IdOfName(slash == std::string::npos ? headPath : headPath.substr(slash + 1),
                  kHeadExtension);
}

std::string DrawTaskId(const std::string& home) {
  const std::string counterFile = home + "/HiWater.mrk";
  const std::string queue = EnsureDirectory(home + "/Queue");
  const std::lock_guard lock(g_counterLock);
  for (;;) {
    std::uint64_t last = 0;
    if (!ParseCounter(platform::getPrivateProfileString(kCounterSection, kCounterKey, "",
                                                        counterFile.c_str()),
                      last) ||
        last == std::numeric_limits<std::uint64_t>::max())
      return "";
    const std::string next = std::to_string(last + 1);
    // A counter that does not keep what was written cannot be trusted with the next id.
    if (!platform::writePrivateProfileString(kCounterSection, kCounterKey, next.c_str(),
                                             counterFile.c_str()) ||
        platform::getPrivateProfileString(kCounterSection, kCounterKey, "", counterFile.c_str()) !=
            next)
      return "";
    const std::string id = FormatTaskId(next);
    const std::string dirs[] = {home, queue, IncompleteDirectory(home), IncompleteDirectory(queue)};
    if (std::none_of(std::begin(dirs), std::end(dirs),
                     [&](const std::string& dir) { return TaskFilesExist(dir, id); }))
      return id;
  }
}

std::string WaterIdFromReceived(const std::string& received) {
  const std::size_t start = received.find("with ESMTP id");
  if (start == std::string::npos) return "";
  const std::size_t end = received.find(".msg", start);
  if (end == std::string::npos) return "";
  return received.substr(start, end - start);
}

bool WriteTaskMessage(const std::string& path, std::string_view text) {
  return platform::replaceWholeFile(path, text);
}

bool WriteTaskHead(const std::string& path, const tagTaskHead& head) {
  platform::ProfileFile file;
  if (!file.load(path)) return false;
  const std::pair<const char*, const std::string*> keys[] = {
      {"From", &head.From},      {"To", &head.To},           {"Cc", &head.Cc},
      {"Bcc", &head.Bcc},        {"Subject", &head.Subject}, {"MsgId", &head.MsgId},
      {"WaterId", &head.WaterId}};
  for (const auto& [key, value] : keys) file.setValue(kHeadSection, key, OneLine(*value));
  if (!head.Recipients.empty()) file.setValue(kHeadSection, "Recipients", OneLine(head.Recipients));
  return file.save(path);
}

tagTaskHead ReadTaskHead(const std::string& path, std::size_t maxLength) {
  platform::ProfileFile file;
  file.load(path);
  const auto read = [&](const char* key) {
    return OneLine(Cut(file.value(kHeadSection, key).value_or(""), maxLength));
  };
  return {read("From"),    read("To"),    read("Cc"),      read("Bcc"),
          read("Subject"), read("MsgId"), read("WaterId"),
          OneLine(Cut(file.value(kHeadSection, "Recipients").value_or(""), kRecipientsValueMax))};
}

std::vector<std::string> StoredTaskIds(const std::string& dir) {
  const std::set<std::string> names = FileNames(dir);
  std::vector<std::string> ids;
  for (const std::string& name : names) {
    const std::string id = IdOfName(name, kMessageExtension);
    if (!id.empty() && names.count(id + kHeadExtension) != 0) ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end(), DrawnBefore);
  return ids;
}

std::vector<std::string> SetAsideIncompleteTasks(const std::string& dir) {
  const std::set<std::string> names = FileNames(dir);
  std::vector<std::string> moved;
  for (const std::string& name : names) {
    if (!IsTaskFileName(name)) continue;
    std::string id = IdOfName(name, kMessageExtension);
    if (id.empty()) id = IdOfName(name, kHeadExtension);
    if (!id.empty() && names.count(id + kMessageExtension) != 0 &&
        names.count(id + kHeadExtension) != 0)
      continue;
    const std::string aside = EnsureDirectory(IncompleteDirectory(dir));
    std::string target = aside + "/" + name;
    for (int copy = 1; platform::fileExists(target); ++copy)
      target = aside + "/" + name + "." + std::to_string(copy);
    if (platform::moveFile(dir + "/" + name, target)) moved.push_back(name);
  }
  return moved;
}
