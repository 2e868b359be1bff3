#include "mail_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/files.h"
#include "platform/profile.h"
#include "store_files.h"
#include "text.h"

namespace mailsandbox {

namespace {

constexpr std::string_view kQueueIdPrefix = "md5";

// The number of a queue id such as "md5000000042", or 0 for any other name.
std::uint64_t queueNumber(std::string_view id) {
  if (!startsWithIgnoringCase(id, kQueueIdPrefix) || id.size() == kQueueIdPrefix.size()) return 0;
  std::uint64_t number = 0;
  for (char c : id.substr(kQueueIdPrefix.size())) {
    if (c < '0' || c > '9' || number > UINT64_MAX / 10 - 1) return 0;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return number;
}

std::string stem(const std::string& fileName) {
  return fileName.substr(0, fileName.size() - std::string_view(kMessageExtension).size());
}

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
  std::string text;
  for (const std::string& item : items) text.append(text.empty() ? "" : separator).append(item);
  return text;
}

}  // namespace

std::uint64_t MailStore::highestStoredNumber() const {
  std::vector<std::string> directories{layout_.outboxDirectory()};
  for (const std::string& domain : subdirectoryNames(layout_.usersDirectory()))
    for (const std::string& mailbox : subdirectoryNames(layout_.domainDirectory(domain)))
      directories.push_back(layout_.mailboxDirectory(domain, mailbox));
  std::uint64_t highest = 0;
  for (const std::string& directory : directories)
    for (const std::string& name : fileNamesEndingWith(directory, kMessageExtension))
      highest = std::max(highest, queueNumber(stem(name)));
  return highest;
}

std::string MailStore::nextQueueId() {
  std::lock_guard<std::mutex> lock(mutex_);
  platform::ProfileFile state;
  state.load(layout_.stateFile());
  std::optional<std::string> saved = state.value("Queue", "LastId");
  std::uint64_t last = saved ? std::strtoull(saved->c_str(), nullptr, 10) : 0;
  if (lastNumber_ == 0) last = std::max(last, highestStoredNumber());
  lastNumber_ = std::max(lastNumber_, last) + 1;
  state.setValue("Queue", "LastId", std::to_string(lastNumber_));
  // A number that cannot be saved is still unique while this process runs.
  if (ensureDirectory(layout_.appDirectory())) state.save(layout_.stateFile());
  char id[32];
  std::snprintf(id, sizeof id, "md5%09llu", static_cast<unsigned long long>(lastNumber_));
  return id;
}

bool MailStore::storeMessage(const std::string& directory, const std::string& id, std::string_view bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeFileWhole(directory + "/" + id + kMessageExtension, bytes, false);
}

void MailStore::removeMessage(const std::string& directory, const std::string& id) {
  platform::deleteFile(directory + "/" + id + kMessageExtension);
}

bool MailStore::storeInOutbox(const std::string& id, std::string_view bytes, const std::string& sender,
                              const std::vector<std::string>& recipients) {
  std::string directory = layout_.outboxDirectory();
  if (!ensureDirectory(directory)) return false;
  if (!storeMessage(directory, id, bytes)) return false;
  platform::ProfileFile envelope;
  envelope.setValue("Envelope", "From", sender);
  envelope.setValue("Envelope", "To", joined(recipients, ","));
  if (envelope.save(directory + "/" + id + ".env")) return true;
  removeMessage(directory, id);
  return false;
}

std::vector<StoredMessage> MailStore::listMessages(const std::string& directory) const {
  std::vector<StoredMessage> messages;
  for (const std::string& name : fileNamesEndingWith(directory, kMessageExtension))
    messages.push_back({stem(name), directory + "/" + name});
  return messages;
}

bool MailStore::tryLockMailbox(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  return lockedMailboxes_.insert(toLower(address)).second;
}

void MailStore::unlockMailbox(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  lockedMailboxes_.erase(toLower(address));
}

}  // namespace mailsandbox
