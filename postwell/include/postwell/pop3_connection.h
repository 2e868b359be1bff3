#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "groundkit/groundkit.h"
#include "postwell/connection_security.h"
#include "postwell/export.h"
#include "postwell/pop3_message.h"

// A POP3 client session: one TCP connection to one mailbox. Operations return non-zero for success
// and 0 for failure; the last server reply (or the last error description) is kept. A derived class
// supplies the status hook that receives every command and reply the session announces.
//
// What the server sends is bounded: a line reply may be 1 MiB long, a LIST or UIDL reply 32 MiB
// with at most 1,000,000 entries, a RETR or TOP reply the message size limit (64 MiB unless the
// caller sets another) plus its status line. A longer reply fails with the thread's last error
// 10040. Besides the idle timeout, a whole reply must arrive within two timeouts plus one second
// for every 4 KiB received, else it fails with 10060. A user name or password holding CR, LF or NUL
// is refused before anything is sent, with the error 10022. No exception leaves the session: when
// memory runs out, the operation fails with the last error (and the error argument, where it has
// one) 8.
class POSTWELL_API CPop3Connection {
 public:
  CPop3Connection();
  virtual ~CPop3Connection();
  CPop3Connection(const CPop3Connection&) = delete;
  CPop3Connection& operator=(const CPop3Connection&) = delete;

  virtual void SetDeviceStatus(const char* status) = 0;

  // Connects and logs in with USER and PASS. error: the socket error, or 4944 (greeting), 4945
  // (USER rejected), 4946 (PASS rejected), 4950 (STLS refused or not answered), 4951 (the TLS
  // handshake failed or the server's certificate was not accepted; the last reply describes it).
  // With TLS asked for, nothing goes out in clear but STLS (and QUIT after a refused STLS): no
  // credential crosses an unsecured or unverified connection.
  int Connect(const char* host, const char* user, const char* password, unsigned long& error,
              int port = 110);
  // QUIT if connected, then closes the socket; the result of the QUIT reply.
  int Disconnect();
  int Statistics(int& count, int& size, unsigned long& error);
  int UIDL();
  // Message numbers start at 1; a number outside the list fails (0).
  int GetMessageSize(int message, unsigned long& size);
  int GetMessageID(int message, std::string& id);
  int Retrieve(int message, CPop3Message& pop3Message, unsigned long& error);
  // TOP n 10: the head and the first ten body lines.
  int GetMessageHeader(int message, CPop3Message& pop3Message, unsigned long& error);
  int Delete(int message, unsigned long& error);
  int Reset();
  int Noop();
  // Empty when the copy cannot be made.
  std::string GetLastCommandResponse() const;
  unsigned long GetTimeout() const { return m_dwTimeout; }
  void SetTimeout(unsigned long milliseconds) { m_dwTimeout = static_cast<std::uint32_t>(milliseconds); }
  // The largest message, in bytes, that Retrieve and GetMessageHeader take (at most 1 GiB; 64 MiB
  // after construction). Retrieve fails at once, without RETR, for a message listed larger.
  void SetMessageSizeLimit(unsigned long bytes);
  // Applies from the next Connect. None (as after construction): plain text as ever.
  void SetSecurity(const postwell::TlsSettings& settings) { m_Security = settings; }
  const postwell::TlsSettings& GetSecurity() const { return m_Security; }
  unsigned long GetMessageSizeLimit() const { return m_nMessageSizeLimit; }

 protected:
  virtual int ReadStatResponse(int& count, int& size);
  virtual int ReadCommandResponse();
  virtual int ReadListResponse(int count);
  virtual int ReadUIDLResponse(int count);
  virtual int ReadReturnResponse(CPop3Message& pop3Message, unsigned long size);
  // Reads until the terminator has arrived, into buffer first and then into larger buffers of its
  // own, published through *grown (new[]; the caller deletes it). The reply without its terminator
  // and without NUL bytes becomes the last reply. 1 when it begins with "+OK" (any case).
  virtual int ReadResponse(char* buffer, int capacity, const char* terminator, char** grown,
                           int growBy);
  virtual void LoggingInfo0(const char* text, unsigned level);
  virtual void LoggingInfo1(const char* text, unsigned level);
  virtual void LoggingInfo2(const char* format, const char* argument, unsigned level);

  int List();
  // The character after the first LF of the text; the terminating NUL if there is none.
  char* GetFirstCharInResponse(char* text);

  std::intptr_t m_hSocket;
  int m_nMessageCount;
  int m_bListed;
  int m_bStatDone;
  int m_bUidlListed;
  std::vector<std::uint32_t> m_arrMessageSize;
  std::vector<std::string> m_arrMessageID;
  int m_bConnected;
  std::string m_sLastCommandResponse;
  std::uint32_t m_dwTimeout;
  DebugWindow m_hDebugWnd;
  int m_bDebug;
  char m_szDebugFile[260];

 private:
  // Runs an operation; an exception from it is a failure with the code 8 (also in *error).
  template <typename Body>
  int Guarded(Body&& body, unsigned long* error = nullptr) noexcept;
  int ConnectAndLogIn(const char* host, const char* user, const char* password, unsigned long& error,
                      int port);
  int FetchList(bool uidl);
  // Reads a reply into the session's reply buffer, which is kept for the next reply.
  int ReadIntoSessionBuffer(const char* terminator, std::size_t firstCapacity, std::size_t limit);
  // Fails the operation: the text becomes the last reply and is logged; the last error is code.
  int FailWithCode(const std::string& text, unsigned long code);
  // Announces "-> <line>" (or "-> *****") to the status hook and the log, sends the line and, when
  // the send fails, keeps the failure text; false on a socket error.
  bool SendLogged(const std::string& line, const char* command, bool logAfterSending = false,
                  bool hidden = false);
  bool SendQuiet(const std::string& line);
  // The text to the status hook and the log; "<- reply" for the last reply.
  void StatusAndLog(const std::string& text);
  void AnnounceReply();
  void FailWith(const std::string& text);
  bool Login(const char* command, const char* value, unsigned long failureCode, unsigned long& error);
  // STLS and the handshake; on failure the connection is closed.
  bool UpgradeWithStls(const char* host, unsigned long& error);
  bool Secure(const char* host, unsigned long& error);

  postwell::TlsSettings m_Security;

  std::unique_ptr<char[]> m_pReplyBuffer;
  std::size_t m_nReplyBufferSize = 0;
  // The limit of the reply being read, and the buffer the reader grew for it.
  std::size_t m_nReplyLimit;
  char* m_pGrownBuffer = nullptr;
  std::size_t m_nGrownBufferSize = 0;
  unsigned long m_nMessageSizeLimit;
};
