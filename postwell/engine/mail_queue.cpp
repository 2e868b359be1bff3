#include "postwell/mail_queue.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/worker_thread.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/sync.h"
#include "postwell/dns_device.h"

namespace {

constexpr unsigned long kWorkerWaitMs = 3600000;
constexpr unsigned long kIdleWaitMs = 1000;
constexpr unsigned kQueued = 1;
constexpr int kUnexpectedFailure = 10000;

using GetLocalDeliveryFunction = ILocalDelivery* (*)(const char*, const char*);

void fillRecord(tagDeviceException& record, const char* source, const std::string& text) {
  std::memset(&record, 0, sizeof record);
  std::strncpy(record.szSource, source, sizeof record.szSource - 1);
  std::strncpy(record.szDescription, text.c_str(), sizeof record.szDescription - 1);
}

// The state that every CMailQueue of the process shares.
struct QueueModule {
  // Passes the failures of the resolver and the database on to the event sink, as a queue's
  // OnDeviceException does; unlike a queue object it lives as long as they do.
  struct Forwarder : IDeviceException {
    explicit Forwarder(QueueModule& module) : module(module) {}
    void OnDeviceException(tagDeviceException* exception) override {
      if (IMailQueueEvent* sink = module.sink.load()) sink->OnQueueException(exception);
    }
    QueueModule& module;
  };

  QueueModule() : forwarder(*this) {}
  ~QueueModule() {
    stopWorker();
    delete localDelivery.exchange(nullptr);
  }

  void report(const char* source, const std::string& text) {
    IMailQueueEvent* eventSink = sink.load();
    if (eventSink == nullptr) return;
    tagDeviceException record;
    fillRecord(record, source, text);
    eventSink->OnQueueException(&record);
  }

  void workerLoop() {
    while (working.load()) {
      if (database.HaveActivedMission()) {
        if (IMailQueueEvent* eventSink = sink.load()) eventSink->OnMissionWaiting();
        std::this_thread::yield();
        queueEvent.wait(kWorkerWaitMs);
      } else {
        // A wait on the queue event rather than a sleep, so that StopWork ends it at once.
        queueEvent.wait(kIdleWaitMs);
      }
    }
  }

  // Called with mutex held.
  void startWorker() {
    if (!worker.joinable()) worker = postwell::startWorkerThread([this] { workerLoop(); });
  }

  void stopWorker() {
    std::thread ending;
    {
      std::lock_guard<std::mutex> guard(mutex);
      working.store(0);
      ending = std::move(worker);
    }
    queueEvent.set();
    if (!ending.joinable()) return;
    if (ending.get_id() == std::this_thread::get_id())
      ending.detach();
    else
      ending.join();
  }

  std::string settingFileCopy() {
    std::lock_guard<std::mutex> guard(mutex);
    return settingFile;
  }

  std::mutex mutex;
  std::atomic<int> working{0};
  std::atomic<IMailQueueEvent*> sink{nullptr};
  std::atomic<ILocalDelivery*> localDelivery{nullptr};
  char settingFile[260] = "";
  Forwarder forwarder;
  CDNSDevice route;
  CMailQueueDBVistor database;
  platform::AutoResetEvent queueEvent;
  std::thread worker;
  int liveQueues = 0;
};

QueueModule g_queue;

}  // namespace

CMailQueue::CMailQueue(const char* settingFile) {
  std::lock_guard<std::mutex> guard(g_queue.mutex);
  std::memset(g_queue.settingFile, 0, sizeof g_queue.settingFile);
  std::strncpy(g_queue.settingFile, settingFile ? settingFile : "", sizeof g_queue.settingFile - 1);
  ++g_queue.liveQueues;
}

CMailQueue::CMailQueue(const CMailQueue&) : IMailQueue(), IDeviceException() {
  std::lock_guard<std::mutex> guard(g_queue.mutex);
  ++g_queue.liveQueues;
}

CMailQueue& CMailQueue::operator=(const CMailQueue&) { return *this; }

CMailQueue::~CMailQueue() {
  bool last;
  {
    std::lock_guard<std::mutex> guard(g_queue.mutex);
    last = --g_queue.liveQueues == 0;
  }
  if (!last) return;
  // The last queue takes the worker and the local delivery object with it.
  g_queue.stopWorker();
  delete g_queue.localDelivery.exchange(nullptr);
}

int CMailQueue::StartWork() {
  const std::string file = g_queue.settingFileCopy();
  g_queue.route.Initialize(&g_queue.forwarder, file.c_str());
  g_queue.database.Initialize(&g_queue.forwarder, file.c_str());
  if (g_queue.localDelivery.load() == nullptr &&
      !platform::getPrivateProfileString("Plug-in", "LocalDelivery", "", file.c_str()).empty())
    AssemblyLocalDelivery();
  std::lock_guard<std::mutex> guard(g_queue.mutex);
  g_queue.working.store(1);
  g_queue.startWorker();
  return 0;
}

int CMailQueue::StopWork() {
  g_queue.stopWorker();
  return 0;
}

void CMailQueue::InsertMission(IMailMission* mission) {
  if (!g_queue.working.load() || mission == nullptr) return;
  tagDeviceException record;
  fillRecord(record, "PROC_InsertMission", "");
  try {
    ILocalDelivery* local = g_queue.localDelivery.load();
    const char* from = mission->GetMailFrom();
    const char* to = mission->GetMailTo();
    mission->SetMissionType(local ? local->GetMissionType(from, to) : 0);
    mission->SetSMTPServerProject(g_queue.route.GetSMTPServerProject(from, to).c_str());
    // A refused mission has been reported by the database and is not queued.
    if (!g_queue.database.InsertMissionToQueueTable(mission)) return;
    mission->SetStatue(kQueued);
    if (IMailQueueEvent* sink = g_queue.sink.load()) sink->OnMissionInserted(mission);
  } catch (...) {
    record.nCode = kUnexpectedFailure;
    std::strncpy(record.szDescription, "Unknow Exception when running insertmission function",
                 sizeof record.szDescription - 1);
    if (IMailQueueEvent* sink = g_queue.sink.load()) sink->OnQueueException(&record);
  }
}

int CMailQueue::RemoveMission(const char* missionId) {
  return g_queue.database.RemoveMission(missionId);
}

void CMailQueue::SetEventObject(IMailQueueEvent* sink) { g_queue.sink.store(sink); }

void CMailQueue::DISKQ_Enumerate() {
  IMailQueueEvent* sink = g_queue.sink.load();
  if (sink == nullptr) return;
  for (int i = 0; i < 10; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "This item is No.%d", i);
    sink->OnQueueText(line);
  }
}

void CMailQueue::DISKQ_LoadMission(const char*, IMailMission*) {}

int CMailQueue::GetDeliveryMission(const char*, const char* serverProject, int limit,
                                   tagDeliveryMail& out) {
  g_queue.queueEvent.set();
  return g_queue.database.ClaimDeliveryMission(serverProject, limit, out);
}

int CMailQueue::Modify_State(const char* missionId, unsigned state) {
  return g_queue.database.Modify_State(missionId, state);
}

int CMailQueue::Modify_DeliveryTime(const char* missionId, long deliveryTime) {
  return g_queue.database.Modify_DeliveryTime(missionId, deliveryTime);
}

void CMailQueue::OnDeviceException(tagDeviceException* exception) {
  if (IMailQueueEvent* sink = g_queue.sink.load()) sink->OnQueueException(exception);
}

void CMailQueue::AssemblyLocalDelivery() {
  const char source[] = "AssemblyLocalDelivery";
  if (g_queue.localDelivery.load() != nullptr) return;
  const std::string file = g_queue.settingFileCopy();
  char name[260] = "";
  platform::getPrivateProfileString("Plug-in", "LocalDelivery", "", name, sizeof name,
                                    file.c_str());
  void* library = platform::loadLibrary(name);
  if (library == nullptr) {
    g_queue.report(source, std::string("Failed to load plug-in from file ") + name + ".");
    return;
  }
  auto create = reinterpret_cast<GetLocalDeliveryFunction>(
      platform::librarySymbol(library, "GetLocalDelivery"));
  if (create == nullptr) {
    g_queue.report(source, "Failed to get GetLocalDelivery function point");
    return;
  }
  ILocalDelivery* object = nullptr;
  try {
    object = create("", file.c_str());
  } catch (...) {
    object = nullptr;
  }
  if (object == nullptr) {
    g_queue.report(source, "Failed to get local delivery object.");
    return;
  }
  ILocalDelivery* expected = nullptr;
  if (!g_queue.localDelivery.compare_exchange_strong(expected, object)) delete object;
}
