#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "groundkit/groundkit.h"
#include "postwell/device_owner.h"
#include "postwell/export.h"
#include "postwell/mail_device_send_mail_info.h"
#include "postwell/mail_device_setting.h"
#include "postwell/smtp_address.h"
#include "postwell/smtp_message.h"

namespace platform {
class AutoResetEvent;
}

// The SMTP device: an SMTP client session (HELO, or EHLO with AUTH LOGIN; any number of messages;
// QUIT) that reports every command and reply as its status and to its debug log. Operations return
// 1 for success and 0 for failure, with a code in the error out-parameter: the socket or file error,
// or 4881 (content file), 4896 (greeting), 4897 (HELO/EHLO), 4898 (MAIL), 4899 (RCPT), 4900 (DATA),
// 4901 (end of data), 4947 (AUTH LOGIN), 4948 (user name), 4949 (password), 4952 (STARTTLS not
// offered or refused), 4953 (the TLS handshake failed or the server's certificate was not
// accepted). The last reply, its code and a description of the last failure stay behind for the
// caller.
//
// The connection's security comes from m_Setting.m_Security (SetSecurity or the setting file). With
// STARTTLS the session says EHLO, STARTTLS, and after the handshake HELO or EHLO again; with TLS the
// handshake comes before the greeting. When the upgrade is not offered or fails, nothing else is
// sent: no AUTH, no mail.
//
// A message that the server rejects ends with RSET, so the next message of the session can follow.
//
// A value that would go into a command line (the HELO/EHLO name, the AUTH LOGIN lines, the sender
// and recipient addresses) holding CR, LF or NUL is refused before anything is sent, with the error
// 10022; the session stays as it was. A content line holding nothing but a dot goes out as two
// dots, so that it cannot end the data early. A reply may be 1 MiB long and must arrive within two
// idle timeouts plus one second for every 4 KiB received (else 10060). No exception leaves the
// session: when memory runs out, the operation fails with the error 8.
class POSTWELL_API CMailDevice {
 public:
  CMailDevice();
  virtual ~CMailDevice();
  CMailDevice(const CMailDevice&) = delete;
  CMailDevice& operator=(const CMailDevice&) = delete;

  // ---- The device: a host drives it as InitializeDevice, StartDevice, then for each batch
  // OccupyDevice, AddSendMissionToQueue per mission and StartUpSendProcess. The batch runs on the
  // device's own thread through one SMTP session, on the route that the setting file gives the
  // first mission's domain; the owner hears 1286 on every status change and 1287 when a mission
  // starts (state 1), while its content goes out (state 5) and when it ends (3 sent, 2 failed).
  // Each mission is reported as ended exactly once, or handed back by Abort untouched. The owner's
  // calls come on the sending thread; the owner must not destroy the device from inside them.

  // Stores the setting file, the name and the owner (may be null); returns 1.
  virtual int InitializeDevice(const char* settingFile, const char* name, IDeviceOwner* owner,
                               unsigned long& error);
  // Started: status "空闲". Stopped: status "关闭"; a running batch goes on.
  virtual void StartDevice();
  virtual void StopDevice();
  // 1 when the device was started and idle; it is then occupied ("占用").
  virtual int OccupyDevice();
  // Not occupied, not aborting; wakes one waiter of the idle event; status "空闲".
  virtual void SetIdle();
  // Hands back, in queue order, the missions the sending thread has not taken, after waiting up to
  // 5 s for the batch to end; the device is idle afterwards. A mission being sent completes on the
  // sending thread and is reported there. Does nothing while another Abort runs.
  virtual void Abort(std::vector<CMailDevice_SendMailInfo*>* out);
  // Sends QUIT when connected and closes the socket; the result is 1 when QUIT was answered with
  // 221. Does nothing and returns 0 while send missions are queued.
  virtual int Disconnect();
  // Queues a mission; the device does not own it, and the record must live until it is reported
  // or handed back.
  virtual void AddSendMissionToQueue(CMailDevice_SendMailInfo* mission);
  // Starts the sending thread for the queued missions: 0 with 4880 when none is queued, and 0 with
  // 170 when called from the sending thread itself. A batch still finishing after an Abort is
  // waited for first.
  virtual int StartUpSendProcess(unsigned long& error);
  // The section of the setting file that gives the route of the batches from now on, whatever
  // their recipients' domains: for a host that has chosen the server project itself. Null or empty
  // goes back to the section that "Special Domain" names for the first mission's domain.
  void SetSettingSection(const char* section) { m_sSettingSection = section ? section : ""; }
  virtual const char* GetDeviceStatus();
  virtual const char* GetDeviceName();
  // Keeps the text and sends the owner message 1286 (wParam 512, lParam the device).
  virtual void SetDeviceStatus(const char* text);
  virtual void MailFuncD_SetDebugHWND(DebugWindow window);
  // Copies the path (at most 259 characters) as the debug log file and sets the debug flag.
  virtual void MailFuncD_SetDebugFlag(int debug, const char* path);

  // Applies from the next connect.
  void SetSecurity(const postwell::TlsSettings& settings) { m_Setting.m_Security = settings; }

  // Connects and greets with HELO.
  int MailFunc_Connect(const char* host, int port, unsigned long& error);
  // Connects, greets with EHLO and logs in with AUTH LOGIN. User and password come base64-encoded,
  // without line breaks, and are sent as given.
  int MailFunc_ConnectESMTP(const char* host, const char* user, const char* password, int port,
                            unsigned long& error);
  // MAIL, RCPT for each single recipient and each entry of the list, DATA, the content file in
  // pieces of 16,384 bytes, the end mark. The file's bytes go out as they are (in transfer form
  // already), but for a line holding a single dot, which goes out as two; a file that cannot be
  // opened fails with 4881 before MAIL.
  int MailFunc_SendMailMessage(CSMTPMessage& message, unsigned long& error);
  // The same without the recipient list.
  int MailFunc_SendMailMessageEx(CSMTPMessage& message, unsigned long& error);
  // Appends the mail exchangers of the address's domain (or of a bare domain), in order of
  // preference, as the DNS servers of m_Setting name them, within the reply timeout. Does nothing
  // when neither is set.
  void MailFunc_GetSmtpServerByDNS(std::string address, std::vector<std::string>& servers);

  // The copies are empty when they cannot be made.
  std::string GetLastCommandResponse() const;
  int GetLastCommandResponseCode() const { return m_nLastCommandResponseCode; }
  std::string GetLastErrorDescription() const;
  unsigned long GetTimeout() const { return m_dwTimeout; }
  void SetTimeout(unsigned long milliseconds) { m_dwTimeout = static_cast<std::uint32_t>(milliseconds); }

 protected:
  // Reads one reply with ReadResponse; 1 when its code is the expected or the alternative one
  // (-1: none).
  virtual int ReadCommandResponse(int expectedCode, int alternativeCode);
  // Reads one whole reply, all its lines, within the idle timeout: into buffer first, then into
  // larger buffers of its own (new[], published through *grown; the caller deletes it). The reply
  // without its last line end becomes the last reply, and its first three digits the reply code.
  // 1 when that code is the expected or the alternative one; else 0 with the last error 10043, or
  // 10060 when the reply did not arrive in time (the text received so far is kept).
  virtual int ReadResponse(char* buffer, int capacity, const char* terminator, char** grown,
                           int expectedCode, int alternativeCode, int growBy);
  virtual void LoggingInfo0(const char* text, unsigned level);
  virtual void LoggingInfo1(const char* text, unsigned level);
  virtual void LoggingInfo2(const char* format, const char* argument, unsigned level);

  int SendRCPTForRecipient(CSMTPAddress& address, unsigned long& error);

  std::intptr_t m_hSocket;
  int m_bConnected;
  std::string m_sLastCommandResponse;
  std::uint32_t m_dwTimeout;
  int m_nLastCommandResponseCode;
  std::string m_sLastErrorDescription;
  std::string m_sDeviceName;
  std::string m_sDeviceStatus;
  std::string m_sSettingFile;
  int m_bStarted;
  int m_bOccupied;
  // Auto-reset, initially not set.
  std::unique_ptr<platform::AutoResetEvent> m_evIdle;
  std::thread m_hSendThread;
  int m_bAborting;
  std::vector<CMailDevice_SendMailInfo*> m_arrSendMission;
  CMailDeviceSetting m_Setting;
  IDeviceOwner* m_hOwnerWnd;
  DebugWindow m_hDebugWnd;
  int m_bDebug;
  char m_szDebugFile[260];

 private:
  // Runs an operation; an exception from it is a failure with the error 8.
  template <typename Body>
  int Guarded(Body&& body, unsigned long& error) noexcept;
  // False, with the error 10022, when the value cannot go into a command line.
  bool CheckCommandValue(const std::string& value, const std::string& refusal, unsigned long& error);
  int Connect(const char* host, int port, const char* greetingFailure, unsigned long& error);
  int Hello(const char* command, const std::string& name, unsigned long& error);
  // EHLO, STARTTLS and the handshake; on failure nothing more is sent.
  int UpgradeWithStartTls(const char* host, const std::string& name, unsigned long& error);
  int Secure(const char* host, unsigned long& error);
  int ConnectESMTP(const char* host, const std::string& user, const std::string& password, int port,
                   unsigned long& error);
  // A command that sets the session up (HELO or EHLO, STARTTLS, the AUTH LOGIN lines), announced
  // once sent. A failed send disconnects; a reply with another code fails with failureCode.
  int SetUpStep(const std::string& line, bool hidden, const char* sendFailure, int expectedCode,
                int alternativeCode, unsigned long failureCode, const char* rejection,
                unsigned long& error);
  // A command of a mail transaction (MAIL, RCPT, DATA), announced before it is sent. A reply with
  // another code fails with failureCode and abandons the transaction.
  int TransactionStep(const std::string& line, const char* sendFailure, int expectedCode,
                      unsigned long failureCode, const char* rejection, unsigned long& error);
  int GuardedSend(CSMTPMessage& message, bool withRecipientList, unsigned long& error);
  // False, with the error 10022, when an address of the envelope cannot go into a command line.
  bool CheckEnvelope(const CSMTPMessage& message, bool withRecipientList, unsigned long& error);
  static std::string RcptRefusal(const std::string& address);
  int SendRcpt(CSMTPAddress& address, unsigned long& error);
  int SendMessage(CSMTPMessage& message, bool withRecipientList, unsigned long& error);
  int SendContent(std::FILE* file, CSMTPMessage& message, unsigned long& error);
  bool SendLine(const std::string& line);
  // "<- reply" to the status and the log.
  void AnnounceReply();
  void StatusAndLog(const std::string& text);
  void Fail(unsigned long& error, unsigned long code, const std::string& description);
  void FailWithSocketError(unsigned long& error, const char* format);
  // "-_-~ reply" to the status.
  void MarkRejection();
  // Fails with the code and the reply, marks the rejection and abandons the transaction.
  void RejectInTransaction(unsigned long& error, unsigned long code, const char* format);
  // The owner message 1287 with the progress record (null when there is none).
  void NotifyProgress(CMailDevice_SendMailInfo* progress);
  // After a rejected command of a mail transaction: RSET, so that the session can go on, keeping
  // the rejected reply as the last one; QUIT when the reply never arrived or RSET fails.
  void AbandonTransaction();
  // Drops the connection without QUIT: the server discards the message it was receiving.
  void AbortConnection();

  bool m_bReplyComplete = false;
  // The route's section chosen by the host; empty: by the first mission's domain.
  std::string m_sSettingSection;

  // The sending thread (engine/send_batch.cpp).
  void SendThreadMain();
  // inHand: the mission taken off the queue whose end is not reported yet.
  void SendBatch(CMailDevice_SendMailInfo*& inHand);
  // The first queued mission, taken off the queue; null when none is left.
  CMailDevice_SendMailInfo* TakeMission();
  void EndMission(CMailDevice_SendMailInfo* mission, int state, unsigned long code,
                  const std::string& reason);
  // Joins a sending thread that has ended or is ending; false when called on that thread.
  bool JoinSendThread();

  // Guards m_arrSendMission, m_bAborting and the fields below.
  mutable std::mutex m_missionLock;
  std::condition_variable m_sendThreadEnded;
  bool m_bSendThreadRunning = false;
  // Set by an Abort that made the device idle while the batch was still finishing its mission.
  bool m_bBatchAbandoned = false;
};
