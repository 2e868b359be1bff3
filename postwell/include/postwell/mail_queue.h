#pragma once

#include "postwell/device_exception.h"
#include "postwell/export.h"
#include "postwell/mail_mission.h"
#include "postwell/mail_queue_db.h"

// The host's sink for what the mail queue does. Every operation has an empty default.
class POSTWELL_API IMailQueueEvent {
 public:
  virtual void OnQueueException(tagDeviceException* exception) {}
  virtual void OnMissionInserted(IMailMission* mission) {}
  // Not called by the queue.
  virtual void OnQueueReserved() {}
  virtual void OnQueueText(const char* text) {}
  // The queue worker found due missions.
  virtual void OnMissionWaiting() {}

 protected:
  ~IMailQueueEvent() = default;
};

class POSTWELL_API IMailQueue {
 public:
  virtual int StartWork() = 0;
  virtual int StopWork() = 0;
  virtual void InsertMission(IMailMission* mission) = 0;
  virtual int RemoveMission(const char* missionId) = 0;
  virtual void SetEventObject(IMailQueueEvent* sink) = 0;
  virtual void DISKQ_Enumerate() = 0;
  virtual void DISKQ_LoadMission(const char* file, IMailMission* mission) = 0;
  virtual int GetDeliveryMission(const char* unused, const char* serverProject, int limit,
                                 tagDeliveryMail& out) = 0;

 protected:
  ~IMailQueue() = default;
};

// The object a local delivery plug-in hands out through its export
//   extern "C" ILocalDelivery* GetLocalDelivery(const char* reserved, const char* settingFile);
// The queue owns it and destroys it through its virtual destructor, so that the plug-in's own
// allocator frees it.
class ILocalDelivery {
 public:
  // 1 when the recipient is served by a local mailbox, else 0.
  virtual unsigned GetMissionType(const char* sender, const char* recipient) = 0;
  virtual ~ILocalDelivery() = default;
};

// The mail queue. Its state is shared by every CMailQueue of the process: the working flag, the
// event sink, the local delivery object, the setting file, the database and the queue worker.
//
// StartWork opens the database named by the setting file (see CMailQueueDBVistor), loads the local
// delivery plug-in named by "Plug-in"/"LocalDelivery" when there is one, and starts the queue
// worker, which tells the event sink OnMissionWaiting when missions are due. StopWork ends the
// worker.
class POSTWELL_API CMailQueue : public IMailQueue, public IDeviceException {
 public:
  explicit CMailQueue(const char* settingFile);
  CMailQueue(const CMailQueue& other);
  CMailQueue& operator=(const CMailQueue& other);
  ~CMailQueue();

  // 0. Queueing works from then on; the database's failures reach the event sink.
  int StartWork() override;
  // 0. The worker has ended when it returns.
  int StopWork() override;
  // Classifies the mission, stamps its server project, stores it and sets its state to 1. Nothing
  // happens while the queue is not working; a mission the database refused keeps its state.
  void InsertMission(IMailMission* mission) override;
  // Deletes a mission that has not been handed out. 1 when it was deleted.
  int RemoveMission(const char* missionId) override;
  void SetEventObject(IMailQueueEvent* sink) override;
  void DISKQ_Enumerate() override;
  void DISKQ_LoadMission(const char* file, IMailMission* mission) override;
  // Hands out a due mission once: its database state becomes 2.
  int GetDeliveryMission(const char* unused, const char* serverProject, int limit,
                         tagDeliveryMail& out) override;
  virtual int Modify_State(const char* missionId, unsigned state);
  virtual int Modify_DeliveryTime(const char* missionId, long deliveryTime);

  void OnDeviceException(tagDeviceException* exception) override;

 protected:
  // Loads the plug-in named in the setting file, unless a local delivery object is loaded already.
  void AssemblyLocalDelivery();
};
