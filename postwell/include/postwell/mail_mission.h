#pragma once

#include "postwell/export.h"

// One message to deliver, as the mail queue and the database queue see it.
class POSTWELL_API IMailMission {
 public:
  virtual char* GetMailFrom() = 0;
  virtual char* GetMailTo() = 0;
  virtual char* GetSubject() = 0;
  // Path of the file that holds the whole message.
  virtual char* GetMailBody() = 0;
  virtual long GetMailSize() = 0;
  virtual char* GetMissionID() = 0;
  virtual void SetMissionID(const char* missionId) = 0;
  // 0 remote delivery, 1 delivery to a local mailbox.
  virtual void SetMissionType(unsigned type) = 0;
  virtual int IsToLocalMailBox() = 0;
  virtual char* GetSMTPServerProject() = 0;
  virtual void SetSMTPServerProject(const char* project) = 0;
  // Seconds since 1970.
  virtual long GetRequestTime() = 0;
  // Earliest delivery, seconds since 1970; 0 means at once.
  virtual long GetDeliveryTime() = 0;
  // 0 new, 1 queued.
  virtual unsigned GetStatue() = 0;
  virtual void SetStatue(unsigned state) = 0;

 protected:
  ~IMailMission() = default;
};

// A mission held in memory. Setters keep at most the field's size less one and the texts stay
// terminated.
class POSTWELL_API CMailMission : public IMailMission {
 public:
  CMailMission();
  CMailMission(const CMailMission& other);
  CMailMission& operator=(const CMailMission& other);
  ~CMailMission();

  char* GetMailFrom() override;
  char* GetMailTo() override;
  char* GetSubject() override;
  char* GetMailBody() override;
  // The data file's size, remembered after the first success; 0 while the file cannot be read.
  long GetMailSize() override;
  char* GetMissionID() override;
  void SetMissionID(const char* missionId) override;
  void SetMissionType(unsigned type) override;
  int IsToLocalMailBox() override;
  char* GetSMTPServerProject() override;
  void SetSMTPServerProject(const char* project) override;
  long GetRequestTime() override;
  long GetDeliveryTime() override;
  unsigned GetStatue() override;
  void SetStatue(unsigned state) override;

  virtual void SetMailFrom(const char* from);
  virtual void SetMailTo(const char* to);
  virtual void SetMailSubject(const char* subject);
  virtual void SetMailBody(const char* dataFile);
  virtual void SetRequestTime(long requestTime);

 private:
  char m_szMailFrom[255];
  char m_szMailTo[255];
  char m_szSubject[255];
  char m_szMailBody[260];
  long m_nMailSize;
  char m_szMissionID[64];
  unsigned m_nMissionType;
  char m_szSMTPServerProject[255];
  long m_tmRequest;
  long m_tmDelivery;
  unsigned m_nState;
};

// A due mission as the queue hands it to the host.
struct tagDeliveryMail {
  char szMissionID[64];
  char szMailFrom[255];
  char szMailTo[255];
  char szSMTPServerProject[255];
  // Path of the message data file; longer paths are refused rather than cut.
  char szMailBody[1024];
};
