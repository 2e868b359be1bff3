#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "postwell/device_exception.h"
#include "postwell/export.h"
#include "postwell/mail_mission.h"

class CADODatabase;

// A row of the MailQueue table as a host sees it, with what the deliveries left behind.
struct tagQueuedMission {
  std::string sMissionID;
  std::string sMailFrom;
  std::string sMailTo;
  std::string sSubject;
  std::string sMailBody;
  std::string sSMTPServerProject;
  long nMailSize = 0;
  long tmRequest = 0;
  // Earliest delivery, seconds since 1970.
  long tmDelivery = 0;
  unsigned nState = 0;
  // Delivery attempts recorded with RecordDeliveryAttempt, and the last one's reply.
  int nTries = 0;
  std::string sLastReply;
  // While handed out under a lease: when the lease runs out; 0 for none.
  long tmLeaseUntil = 0;
};

// The mail queue kept in the MailQueue table of a database reached through ODBC. Section "DBInfo"
// of the setting file names the database: "CnnStr" is an ODBC connection string, "UserName" and
// "Password" are added to it. An empty "CnnStr", or an SQLite one without "Database=", means the
// SQLite file "mailqueue.db" beside the setting file. The table is created when it is missing.
//
// Every operation may be called from any thread: the visitor serialises its use of the connection.
// A due mission is handed out once even when several processes share the database.
class POSTWELL_API CMailQueueDBVistor {
 public:
  // A mission's state in the queue. Queued and retry missions wait for their delivery time; a
  // handed-out one belongs to the caller that claimed it; a host records sent or failed when it is
  // done with a mission.
  enum State : unsigned { kQueued = 0, kRetry = 1, kHandedOut = 2, kSent = 3, kFailed = 4 };

  CMailQueueDBVistor();
  ~CMailQueueDBVistor();
  CMailQueueDBVistor(const CMailQueueDBVistor&) = delete;
  CMailQueueDBVistor& operator=(const CMailQueueDBVistor&) = delete;

  // Stores the sink; opens the database unless it is open already. 1 when the database is open.
  virtual int Initialize(IDeviceException* sink, const char* settingFile);
  // Inserts one row. A mission without identifier gets a new one; a taken identifier x becomes
  // x.1, x.2, ... and the mission's own identifier follows. 1 when the row was stored.
  virtual int InsertMissionToQueueTable(IMailMission* mission);
  virtual int ModifyMailQueueMission(IMailMission* mission);
  // 1 when at least one mission is due (state below 2, delivery time passed).
  virtual int HaveActivedMission();
  // Copies a due mission (of the server project, when one is given) into out without changing its
  // state. A negative limit gives 0.
  virtual int GetDeliveryMission(const char* unused, const char* serverProject, int limit,
                                 tagDeliveryMail& out);
  // 1 when the statement ran (whether or not a row had that identifier).
  virtual int Modify_State(const char* missionId, unsigned state);
  // Sets the row's earliest delivery time (seconds since 1970). 1 when a row was changed.
  virtual int Modify_DeliveryTime(const char* missionId, long deliveryTime);

  // As GetDeliveryMission, and the mission's state becomes 2 in the same step, so that no other
  // caller, thread or process gets it too.
  int ClaimDeliveryMission(const char* serverProject, int limit, tagDeliveryMail& out);
  // The same for a host that may die while it holds missions: the mission is handed out for
  // leaseSeconds (above 0), and a mission handed out under a lease that has run out is due again.
  // Missions handed out without a lease stay with their taker.
  int ClaimDeliveryMission(const char* serverProject, int limit, tagDeliveryMail& out,
                           long leaseSeconds);
  // Extends the lease of a mission that is still handed out under a lease that has not run out:
  // it now runs out leaseSeconds from now. 1 when the lease was extended.
  int RenewLease(const char* missionId, long leaseSeconds);
  // Deletes a mission that has not been handed out (state below 2). 1 when a row was deleted.
  int RemoveMission(const char* missionId);
  // Records the end of a delivery attempt in one step: one more try, the new state, the earliest
  // next delivery, the reply (for a failure, the server's last reply); the lease ends. 1 when a row
  // was changed.
  int RecordDeliveryAttempt(const char* missionId, unsigned state, long deliveryTime,
                            const char* reply);
  // One mission, or every mission in the order they were requested. 1 on success (for one
  // mission: when it exists).
  int GetQueuedMission(const char* missionId, tagQueuedMission& out);
  int ListMissions(std::vector<tagQueuedMission>& out);

 protected:
  virtual std::string GetUniqueMissionID();

 private:
  void report(const char* source, const std::string& text);
  int selectDue(const char* source, const char* serverProject, int limit, tagDeliveryMail& out,
                bool claim, long leaseSeconds);

  std::recursive_mutex m_lock;
  CADODatabase* m_pDatabase;
  IDeviceException* m_pException;
  std::mutex m_idLock;
  std::string m_sLastID;
};
