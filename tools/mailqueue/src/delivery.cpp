#include "delivery.h"

#include <strings.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "groundkit/groundkit.h"
#include "postwell/mail_device.h"
#include "postwell/mail_queue_db.h"
#include "postwell/setting_ini.h"
#include "spool.h"

namespace mailqueue {

namespace {

constexpr auto kStopCheck = std::chrono::milliseconds(100);

long now() { return static_cast<long>(std::time(nullptr)); }

// The queue's failures, but for the report that nothing is due, which is no failure here.
class Warnings : public IDeviceException {
 public:
  explicit Warnings(std::FILE* out) : out_(out) {}
  void OnDeviceException(tagDeviceException* e) override {
    if (out_ == nullptr || std::strcmp(e->szDescription, "Have no such record") == 0) return;
    std::lock_guard<std::mutex> guard(mutex_);
    std::fprintf(out_, "mailqueue: %s: %s\n", e->szSource, e->szDescription);
  }

 private:
  std::FILE* out_;
  std::mutex mutex_;
};

// One run's view of the queue: records outcomes as the device reports them.
class Recorder {
 public:
  Recorder(const Settings& settings, CMailQueueDBVistor& queue, RunSummary& summary,
           std::FILE* warn, std::FILE* events)
      : settings_(settings), queue_(queue), summary_(summary), warn_(warn), events_(events) {}

  void sent(const CMailDevice_SendMailInfo& mission, const std::string& reply) {
    if (!queue_.RecordDeliveryAttempt(mission.m_szMissionID, CMailQueueDBVistor::kSent, 0,
                                      reply.c_str())) {
      warning("cannot record that %s was sent; it may be sent again", mission.m_szMissionID);
      return;
    }
    removeFromSpool(mission.m_szDataFile);
    std::lock_guard<std::mutex> guard(mutex_);
    ++summary_.sent;
    event("%s to %s: sent: %s", mission.m_szMissionID, mission.m_szRcptTo, reply);
  }

  void failed(const char* missionId, const std::string& reply) {
    tagQueuedMission row;
    const int tries = queue_.GetQueuedMission(missionId, row) ? row.nTries + 1 : 1;
    const bool givingUp = tries >= settings_.maxTries;
    const long next = givingUp ? 0 : now() + retryDelayAfter(settings_, tries);
    const unsigned state = givingUp ? CMailQueueDBVistor::kFailed : CMailQueueDBVistor::kRetry;
    if (!queue_.RecordDeliveryAttempt(missionId, state, next, reply.c_str())) {
      warning("cannot record the failure of %s", missionId);
      return;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    ++(givingUp ? summary_.givenUp : summary_.rescheduled);
    event(givingUp ? "%s to %s: given up after %d tries: %s" : "%s to %s: try %d failed: %s",
          missionId, row.sMailTo.c_str(), tries, reply);
  }

  // Extends the leases of the missions while they wait in a long batch.
  void renew(const char* missionId) { queue_.RenewLease(missionId, settings_.lease); }

  long lease() const { return settings_.lease; }

  // Back to the queue untried.
  void giveBack(const char* missionId) {
    tagQueuedMission row;
    const bool tried = queue_.GetQueuedMission(missionId, row) && row.nTries > 0;
    queue_.Modify_State(missionId,
                        tried ? CMailQueueDBVistor::kRetry : CMailQueueDBVistor::kQueued);
    std::lock_guard<std::mutex> guard(mutex_);
    ++summary_.returned;
  }

 private:
  void warning(const char* format, const char* missionId) {
    if (warn_ == nullptr) return;
    std::lock_guard<std::mutex> guard(mutex_);
    std::fprintf(warn_, "mailqueue: ");
    std::fprintf(warn_, format, missionId);
    std::fprintf(warn_, "\n");
  }

  // One line of the events, written at once (called with the mutex held).
  void event(const char* format, const char* missionId, const char* recipient,
             const std::string& reply) {
    if (events_ == nullptr) return;
    std::fprintf(events_, format, missionId, recipient, oneLine(reply).c_str());
    std::fputc('\n', events_);
    std::fflush(events_);
  }
  void event(const char* format, const char* missionId, const char* recipient, int tries,
             const std::string& reply) {
    if (events_ == nullptr) return;
    std::fprintf(events_, format, missionId, recipient, tries, oneLine(reply).c_str());
    std::fputc('\n', events_);
    std::fflush(events_);
  }

  static std::string oneLine(std::string text) {
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }

  const Settings& settings_;
  CMailQueueDBVistor& queue_;
  RunSummary& summary_;
  std::FILE* warn_;
  std::FILE* events_;
  std::mutex mutex_;
};

std::string failureText(const CMailDevice_SendMailInfo& mission) {
  std::string text = "error " + std::to_string(mission.m_dwError);
  if (!mission.m_sError.empty()) text += ": " + mission.m_sError;
  return text;
}

// Follows one batch on the sending device: records each mission as it ends.
class BatchOwner : public IDeviceOwner {
 public:
  BatchOwner(Recorder& recorder, std::size_t total, const std::string& route, std::FILE* progress)
      : recorder_(recorder), total_(total), route_(route), progress_(progress) {}

  void setDevice(CMailDevice* device) { device_ = device; }

  void setMissions(const std::vector<std::unique_ptr<CMailDevice_SendMailInfo>>* missions) {
    missions_ = missions;
    renewed_ = now();
  }

  long OnDeviceMessage(unsigned message, unsigned long, void* lParam) override {
    if (message != 1287 || lParam == nullptr) return 0;
    auto* mission = static_cast<CMailDevice_SendMailInfo*>(lParam);
    if (mission->m_nState == 1) {
      renewLeasesWhenHalfGone();
      return 0;
    }
    if (mission->m_nState == 3) {
      // The notice comes on the sending thread, whose session holds the server's answer.
      recorder_.sent(*mission, device_ ? device_->GetLastCommandResponse() : std::string());
    } else if (mission->m_nState == 2) {
      recorder_.failed(mission->m_szMissionID, failureText(*mission));
    } else {
      return 0;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    ++(mission->m_nState == 3 ? sent_ : failed_);
    if (progress_ != nullptr) {
      std::fprintf(progress_, "\r%s: %zu/%zu sent, %zu failed ", route_.c_str(), sent_, total_,
                   failed_);
      std::fflush(progress_);
    }
    ended_.notify_all();
    return 0;
  }

  // True when every mission has ended; false when stop was set first.
  bool waitForAll(std::size_t handedBack, const std::atomic<bool>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (sent_ + failed_ + handedBack < total_) {
      if (stop.load()) return false;
      ended_.wait_for(lock, kStopCheck);
    }
    return true;
  }

  // A batch may take longer than a lease: once half of it is gone, the missions of the batch that
  // have not ended get a new one, so that no other run takes them over while they wait here.
  void renewLeasesWhenHalfGone() {
    if (missions_ == nullptr || now() - renewed_ < recorder_.lease() / 2) return;
    renewed_ = now();
    for (const auto& waiting : *missions_)
      if (waiting->m_nState != 2 && waiting->m_nState != 3) recorder_.renew(waiting->m_szMissionID);
  }

  void endLine() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (progress_ != nullptr) std::fprintf(progress_, "\n");
  }

 private:
  Recorder& recorder_;
  CMailDevice* device_ = nullptr;
  const std::vector<std::unique_ptr<CMailDevice_SendMailInfo>>* missions_ = nullptr;
  long renewed_ = 0;
  const std::size_t total_;
  const std::string route_;
  std::FILE* progress_;
  std::mutex mutex_;
  std::condition_variable ended_;
  std::size_t sent_ = 0;
  std::size_t failed_ = 0;
};

std::string domainOf(const char* address) {
  char domain[1024] = "";
  if (std::strlen(address) < sizeof domain) BSCFEM_GetHostName(address, domain);
  return domain;
}

// Missions of one route: the server project, and for a project that looks up the mail exchangers
// of the recipient's domain, that domain too.
std::string routeKey(const Settings& settings, const tagDeliveryMail& mail) {
  CSetting_Ini ini;
  std::string automatic;
  ini.GetAttribute(mail.szSMTPServerProject, "AUTOGETSMTPSERVER", settings.file.c_str(), automatic);
  std::string key = mail.szSMTPServerProject;
  if (strcasecmp(automatic.c_str(), "YES") == 0) {
    key.push_back('\0');
    key.append(domainOf(mail.szMailTo));
  }
  return key;
}

void deliverGroup(const Settings& settings, const std::vector<tagDeliveryMail>& mails,
                  Recorder& recorder, const RunOptions& options, const std::atomic<bool>& stop) {
  const std::string project = mails.front().szSMTPServerProject;
  std::vector<std::unique_ptr<CMailDevice_SendMailInfo>> missions;
  for (const tagDeliveryMail& mail : mails) {
    if (std::strlen(mail.szMailBody) >= sizeof(CMailDevice_SendMailInfo::m_szDataFile)) {
      recorder.failed(mail.szMissionID, "the message file's path is too long");
      continue;
    }
    auto mission = std::make_unique<CMailDevice_SendMailInfo>();
    std::strncpy(mission->m_szMissionID, mail.szMissionID, sizeof mission->m_szMissionID - 1);
    std::strncpy(mission->m_szMailFrom, mail.szMailFrom, sizeof mission->m_szMailFrom - 1);
    std::strncpy(mission->m_szRcptTo, mail.szMailTo, sizeof mission->m_szRcptTo - 1);
    std::strncpy(mission->m_szDataFile, mail.szMailBody, sizeof mission->m_szDataFile - 1);
    mission->m_tmRequest = now();
    missions.push_back(std::move(mission));
  }
  if (missions.empty()) return;

  BatchOwner owner(recorder, missions.size(), project, options.progress);
  owner.setMissions(&missions);
  std::vector<CMailDevice_SendMailInfo*> handedBack;
  {
    CMailDevice device;
    owner.setDevice(&device);
    unsigned long error = 0;
    device.SetSettingSection(project.c_str());
    device.InitializeDevice(settings.file.c_str(), "mailqueue", &owner, error);
    device.StartDevice();
    device.OccupyDevice();
    for (auto& mission : missions) device.AddSendMissionToQueue(mission.get());
    if (!device.StartUpSendProcess(error)) {
      std::vector<CMailDevice_SendMailInfo*> back;
      device.Abort(&back);
      for (CMailDevice_SendMailInfo* mission : back)
        recorder.failed(mission->m_szMissionID,
                        "error " + std::to_string(error) + ": the sending device did not start");
      return;
    }
    if (!owner.waitForAll(0, stop)) {
      // The missions not yet started come back; the one being sent ends on the sending thread,
      // which the device waits for when it goes.
      device.Abort(&handedBack);
      for (CMailDevice_SendMailInfo* mission : handedBack)
        recorder.giveBack(mission->m_szMissionID);
    }
  }
  owner.endLine();
}

}  // namespace

bool deliver(const Settings& settings, const RunOptions& options, const std::atomic<bool>& stop,
             RunSummary& summary, std::string& why, std::FILE* warn) {
  Warnings warnings(warn);
  CMailQueueDBVistor queue;
  if (!queue.Initialize(&warnings, settings.file.c_str())) {
    why = "cannot open the queue named in " + settings.file;
    return false;
  }
  Recorder recorder(settings, queue, summary, warn, options.events);
  while (!stop.load()) {
    std::vector<tagDeliveryMail> claimed;
    for (tagDeliveryMail mail; static_cast<int>(claimed.size()) < settings.batchSize;) {
      if (!queue.ClaimDeliveryMission("", 0, mail, settings.lease)) break;
      claimed.push_back(mail);
    }
    if (claimed.empty()) {
      if (options.once) break;
      const auto until =
          std::chrono::steady_clock::now() + std::chrono::seconds(settings.pollInterval);
      while (!stop.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kStopCheck);
      continue;
    }
    // Groups in the order of their first mission.
    std::vector<std::string> order;
    std::map<std::string, std::vector<tagDeliveryMail>> groups;
    for (const tagDeliveryMail& mail : claimed) {
      const std::string key = routeKey(settings, mail);
      if (groups.find(key) == groups.end()) order.push_back(key);
      groups[key].push_back(mail);
    }
    for (const std::string& key : order) {
      if (stop.load()) {
        for (const tagDeliveryMail& mail : groups[key]) recorder.giveBack(mail.szMissionID);
        continue;
      }
      deliverGroup(settings, groups[key], recorder, options, stop);
    }
  }
  return true;
}

}  // namespace mailqueue
