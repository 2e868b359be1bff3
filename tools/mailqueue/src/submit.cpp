#include "submit.h"

#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "groundkit/groundkit.h"
#include "postwell/mail_queue.h"
#include "spool.h"

namespace mailqueue {

namespace {

namespace fs = std::filesystem;

bool hasLineBreakOrNul(const std::string& value) {
  return value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool usableAddress(const std::string& address) {
  return !address.empty() && address.size() < 255 && !hasLineBreakOrNul(address) &&
         BSCF_IsLegalEmailAddress(address.c_str()) != 0;
}

// What the queue reports while missions are stored.
class QueueReports : public IMailQueueEvent {
 public:
  void OnQueueException(tagDeviceException* e) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!text_.empty()) text_ += "; ";
    text_ += e->szDescription;
  }
  std::string take() {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string out;
    out.swap(text_);
    return out;
  }

 private:
  std::mutex mutex_;
  std::string text_;
};

// The message's Subject field, on one line, for the listing.
std::string subjectOf(const std::string& path) {
  MailHeaderMap header;
  unsigned long error = 0;
  if (!BSCFEM_D_GetMailHeaderSec(path.c_str(), header, error)) return "";
  for (const auto& [name, value] : header) {
    if (strcasecmp(name.c_str(), "Subject") != 0) continue;
    std::string line;
    for (char c : value) line += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
    const std::size_t start = line.find_first_not_of(' ');
    return start == std::string::npos ? "" : line.substr(start);
  }
  return "";
}

bool compose(const Settings& settings, const SubmitRequest& request, std::string& message,
             std::string& why) {
  std::string body;
  if (!request.bodyFile.empty() && !readWholeFile(request.bodyFile, body, why)) return false;
  if (body.find('\0') != std::string::npos) {
    why = "the body file " + request.bodyFile + " holds a NUL byte; attach it instead";
    return false;
  }
  for (const std::string& file : request.attachments) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
      why = "no attachment " + file;
      return false;
    }
  }
  std::error_code error;
  fs::create_directories(settings.spool, error);
  const std::string draft =
      (fs::path(settings.spool) / (".draft-" + std::to_string(::getpid()) + ".tmp")).string();
  fs::remove(draft, error);
  unsigned long code = 0;
  const int composed =
      BSCFEM_EncodeEmailMission(draft.c_str(), request.from.c_str(), request.to,
                                request.subject.c_str(), body.c_str(), request.attachments, code);
  const bool read = composed && readWholeFile(draft, message, why);
  fs::remove(draft, error);
  if (!composed) why = "cannot compose the message (error " + std::to_string(code) + ")";
  return composed && read;
}

}  // namespace

bool submit(const Settings& settings, const SubmitRequest& request, std::vector<std::string>& ids,
            std::string& why) {
  if (!usableAddress(request.from)) {
    why = "not a usable sender address: " + request.from;
    return false;
  }
  if (request.to.empty()) {
    why = "no recipient (--to)";
    return false;
  }
  for (const std::string& to : request.to) {
    if (!usableAddress(to)) {
      why = "not a usable recipient address: " + to;
      return false;
    }
  }
  if (hasLineBreakOrNul(request.subject)) {
    why = "the subject holds a line break";
    return false;
  }

  std::string message;
  std::string subject = request.subject;
  if (!request.eml.empty()) {
    if (!readWholeFile(request.eml, message, why)) return false;
    if (subject.empty()) subject = subjectOf(request.eml);
  } else if (!compose(settings, request, message, why)) {
    return false;
  }
  std::vector<std::string> files;
  if (!storeInSpool(settings.spool, toTransferForm(message), request.to.size(), files, why))
    return false;
  if (files.front().size() > 259 - std::to_string(request.to.size()).size() - 1) {
    for (const std::string& file : files) removeFromSpool(file);
    why = "the spool directory's path is too long: " + settings.spool;
    return false;
  }

  QueueReports reports;
  CMailQueue queue(settings.file.c_str());
  queue.SetEventObject(&reports);
  queue.StartWork();
  const long now = static_cast<long>(std::time(nullptr));
  std::string refused;
  for (std::size_t i = 0; i < request.to.size(); ++i) {
    CMailMission mission;
    mission.SetMailFrom(request.from.c_str());
    mission.SetMailTo(request.to[i].c_str());
    mission.SetMailSubject(subject.c_str());
    mission.SetMailBody(files[i].c_str());
    mission.SetRequestTime(now);
    queue.InsertMission(&mission);
    if (mission.GetStatue() == 1) {
      ids.emplace_back(mission.GetMissionID());
      continue;
    }
    removeFromSpool(files[i]);
    const std::string reason = reports.take();
    refused += (refused.empty() ? "" : "; ") + request.to[i] +
               " not queued: " + (reason.empty() ? "the queue refused it" : reason);
  }
  queue.StopWork();
  queue.SetEventObject(nullptr);
  why = refused;
  return !ids.empty();
}

}  // namespace mailqueue
