#pragma once
// The stand-in's two services on 127.0.0.1, one thread per connection.

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "accounts.h"
#include "certificate.h"
#include "delivery.h"
#include "event_log.h"
#include "layout.h"
#include "mail_store.h"
#include "platform/tcp_listener.h"

namespace mailsandbox {

class Server {
 public:
  static constexpr unsigned long kIdleTimeoutMs = 10 * 60 * 1000;
  static constexpr unsigned long kSendTimeoutMs = 30 * 1000;

  Server(const Layout& layout, EventLog& log);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Listens on both ports (0 picks a free one) and starts serving. False with a reason when a port
  // cannot be had.
  bool start(std::uint16_t smtpPort, std::uint16_t pop3Port, std::string& error);
  std::uint16_t smtpPort() const { return smtpListener_.port(); }
  std::uint16_t pop3Port() const { return pop3Listener_.port(); }
  // Before start: offer STARTTLS and STLS with the certificate, and serve SMTPS and POP3S on these
  // ports as well (0 picks a free one).
  void enableTls(const Certificate& certificate, std::uint16_t smtpsPort, std::uint16_t pop3sPort);
  std::uint16_t smtpsPort() const { return smtpsListener_.port(); }
  std::uint16_t pop3sPort() const { return pop3sListener_.port(); }
  // Stops accepting, ends every open connection and waits for their threads.
  void stop();

 private:
  enum class Protocol { kSmtp, kPop3, kSmtps, kPop3s };
  struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void acceptLoop(platform::TcpListener& listener, Protocol protocol);
  void serve(platform::SocketHandle socket, Protocol protocol, unsigned number);
  void joinFinishedConnections();

  Accounts accounts_;
  MailStore store_;
  Delivery delivery_;
  EventLog& log_;
  platform::TcpListener smtpListener_;
  platform::TcpListener pop3Listener_;
  platform::TcpListener smtpsListener_;
  platform::TcpListener pop3sListener_;
  bool tls_ = false;
  Certificate certificate_;
  std::uint16_t smtpsPortWanted_ = 0;
  std::uint16_t pop3sPortWanted_ = 0;
  std::thread smtpsAcceptor_;
  std::thread pop3sAcceptor_;
  std::atomic<bool> stopping_{false};
  std::atomic<unsigned> connectionCount_{0};
  std::thread smtpAcceptor_;
  std::thread pop3Acceptor_;
  std::mutex connectionsMutex_;
  std::list<Connection> connections_;
};

}  // namespace mailsandbox
