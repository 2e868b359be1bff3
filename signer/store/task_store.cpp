#include "store/task_store.h"

#include <algorithm>
#include <mutex>

#include "platform/files.h"
#include "platform/profile.h"

namespace {

constexpr char kHeadSection[] = "Head";
constexpr char kCounterSection[] = "Indicator";
constexpr char kCounterKey[] = "Id";
constexpr char kMessageExtension[] = ".eml";

// Guards the read-increment-write of the task counters.
std::mutex g_counterLock;

std::string EnsureDirectory(const std::string& path) {
  platform::createDirectory(path);
  return path;
}

unsigned char Byte(const std::string& text, std::size_t index) {
  return static_cast<unsigned char>(text[index]);
}

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

bool TaskFilesExist(const std::string& dir, const std::string& id) {
  return platform::fileExists(TaskMessagePath(dir, id)) ||
         platform::fileExists(TaskHeadPath(dir, id));
}

}  // namespace

std::string HomeDirectory(const std::string& user) { return EnsureDirectory("./HOME_" + user); }

std::string QueueDirectory(const std::string& user) {
  return EnsureDirectory(HomeDirectory(user) + "/Queue");
}

std::string TaskMessagePath(const std::string& dir, const std::string& id) {
  return dir + "/" + id + kMessageExtension;
}

std::string TaskHeadPath(const std::string& dir, const std::string& id) {
  return dir + "/" + id + ".inf";
}

std::string FormatTaskId(const std::string& counter) {
  return "QV" + std::string(counter.size() < 9 ? 9 - counter.size() : 0, '0') + counter;
}

std::string DrawTaskId(const std::string& home) {
  const std::string counterFile = home + "/HiWater.mrk";
  const std::string queue = EnsureDirectory(home + "/Queue");
  const std::lock_guard lock(g_counterLock);
  std::string previous;
  for (;;) {
    const long next = platform::leadingInteger(platform::getPrivateProfileString(
                          kCounterSection, kCounterKey, "", counterFile.c_str())) +
                      1;
    platform::writePrivateProfileString(kCounterSection, kCounterKey, std::to_string(next).c_str(),
                                        counterFile.c_str());
    const std::string counter =
        platform::getPrivateProfileString(kCounterSection, kCounterKey, "", counterFile.c_str());
    // A counter that does not advance cannot be kept.
    if (counter.empty() || counter == previous) return "";
    const std::string id = FormatTaskId(counter);
    if (!TaskFilesExist(home, id) && !TaskFilesExist(queue, id)) return id;
    previous = counter;
  }
}

std::string WaterIdFromReceived(const std::string& received) {
  const std::size_t start = received.find("with ESMTP id");
  if (start == std::string::npos) return "";
  const std::size_t end = received.find(".msg", start);
  if (end == std::string::npos) return "";
  return received.substr(start, end - start);
}

bool WriteTaskHead(const std::string& path, const tagTaskHead& head) {
  platform::ProfileFile file;
  if (!file.load(path)) return false;
  const std::pair<const char*, const std::string*> keys[] = {
      {"From", &head.From},      {"To", &head.To},           {"Cc", &head.Cc},
      {"Bcc", &head.Bcc},        {"Subject", &head.Subject}, {"MsgId", &head.MsgId},
      {"WaterId", &head.WaterId}};
  for (const auto& [key, value] : keys) file.setValue(kHeadSection, key, *value);
  return file.save(path);
}

tagTaskHead ReadTaskHead(const std::string& path, std::size_t maxLength) {
  platform::ProfileFile file;
  file.load(path);
  const auto read = [&](const char* key) {
    return Cut(file.value(kHeadSection, key).value_or(""), maxLength);
  };
  return {read("From"),    read("To"),    read("Cc"),     read("Bcc"),
          read("Subject"), read("MsgId"), read("WaterId")};
}

std::vector<std::string> StoredTaskIds(const std::string& dir) {
  std::vector<std::string> ids;
  for (const platform::DirEntry& entry : platform::findFiles(dir + "/*" + kMessageExtension)) {
    if (entry.isDirectory || entry.name == "." || entry.name == "..") continue;
    ids.push_back(entry.name.substr(0, entry.name.size() - (sizeof kMessageExtension - 1)));
  }
  // Zero-padded ids sort as their counters do; counters of ten or more digits are longer.
  std::sort(ids.begin(), ids.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return ids;
}
