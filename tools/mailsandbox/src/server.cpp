#include "server.h"

#include <memory>
#include <tuple>

#include "connection.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/tls.h"
#include "pop3_session.h"
#include "smtp_session.h"

namespace mailsandbox {

namespace {

constexpr unsigned long kAcceptWaitMs = 250;
constexpr unsigned long kHandshakeTimeoutMs = 30 * 1000;

const char* endText(ConnectionEnd end) {
  switch (end) {
    case ConnectionEnd::kSessionFinished: return "closed";
    case ConnectionEnd::kPeerClosed: return "closed by the client";
    case ConnectionEnd::kIdle: return "closed after being idle too long";
    case ConnectionEnd::kStopped: return "closed, the stand-in stops";
    case ConnectionEnd::kLineTooLong: return "closed after an overlong line";
    case ConnectionEnd::kTlsFailed: return "closed, the TLS handshake failed";
    case ConnectionEnd::kSocketError: break;
  }
  return "closed after a socket error";
}

}  // namespace

Server::Server(const Layout& layout, EventLog& log)
    : accounts_(layout), store_(layout), delivery_(layout, accounts_, store_), log_(log) {}

Server::~Server() { stop(); }

bool Server::start(std::uint16_t smtpPort, std::uint16_t pop3Port, std::string& error) {
  if (!smtpListener_.listenLoopback(smtpPort)) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(smtpPort) + " for SMTP (error " +
            std::to_string(platform::lastError()) + ")";
    return false;
  }
  if (!pop3Listener_.listenLoopback(pop3Port)) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(pop3Port) + " for POP3 (error " +
            std::to_string(platform::lastError()) + ")";
    smtpListener_.close();
    return false;
  }
  if (tls_) {
    for (auto [listener, port, name] : {std::tuple{&smtpsListener_, smtpsPortWanted_, "SMTPS"},
                                        std::tuple{&pop3sListener_, pop3sPortWanted_, "POP3S"}}) {
      if (listener->listenLoopback(port)) continue;
      error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " for " + name + " (error " +
              std::to_string(platform::lastError()) + ")";
      smtpListener_.close();
      pop3Listener_.close();
      smtpsListener_.close();
      return false;
    }
    smtpsAcceptor_ = std::thread([this] { acceptLoop(smtpsListener_, Protocol::kSmtps); });
    pop3sAcceptor_ = std::thread([this] { acceptLoop(pop3sListener_, Protocol::kPop3s); });
  }
  smtpAcceptor_ = std::thread([this] { acceptLoop(smtpListener_, Protocol::kSmtp); });
  pop3Acceptor_ = std::thread([this] { acceptLoop(pop3Listener_, Protocol::kPop3); });
  return true;
}

void Server::stop() {
  stopping_ = true;
  if (smtpAcceptor_.joinable()) smtpAcceptor_.join();
  if (pop3Acceptor_.joinable()) pop3Acceptor_.join();
  if (smtpsAcceptor_.joinable()) smtpsAcceptor_.join();
  if (pop3sAcceptor_.joinable()) pop3sAcceptor_.join();
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  for (Connection& connection : connections_) connection.thread.join();
  connections_.clear();
  smtpListener_.close();
  pop3Listener_.close();
  smtpsListener_.close();
  pop3sListener_.close();
}

void Server::enableTls(const Certificate& certificate, std::uint16_t smtpsPort, std::uint16_t pop3sPort) {
  tls_ = true;
  certificate_ = certificate;
  smtpsPortWanted_ = smtpsPort;
  pop3sPortWanted_ = pop3sPort;
}

void Server::acceptLoop(platform::TcpListener& listener, Protocol protocol) {
  while (!stopping_) {
    joinFinishedConnections();
    platform::SocketHandle socket = listener.accept(kAcceptWaitMs);
    if (socket == platform::kInvalidSocket) {
      unsigned long error = platform::lastError();
      if (error != platform::err::kWsaTimedOut && error != platform::err::kWsaInterrupted) {
        log_.write("accepting failed (error " + std::to_string(error) + ")");
        platform::sleepMs(kAcceptWaitMs);  // e.g. out of descriptors: do not spin
      }
      continue;
    }
    unsigned number = ++connectionCount_;
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    Connection& connection = connections_.emplace_back();
    connection.thread = std::thread([this, socket, protocol, number, &connection] {
      serve(socket, protocol, number);
      connection.done = true;
    });
  }
}

void Server::serve(platform::SocketHandle socket, Protocol protocol, unsigned number) {
  const bool smtp = protocol == Protocol::kSmtp || protocol == Protocol::kSmtps;
  const bool implicit = protocol == Protocol::kSmtps || protocol == Protocol::kPop3s;
  std::string prefix = (smtp ? "smtp#" : "pop3#") + std::to_string(number) + " ";
  EventSink events = [this, prefix](std::string_view text) { log_.write(prefix + std::string(text)); };
  auto handshake = [&] {
    std::string failure;
    if (platform::acceptTls(socket, certificate_.certificateFile, certificate_.keyFile, kHandshakeTimeoutMs, failure))
      return true;
    events(failure);
    return false;
  };
  std::unique_ptr<LineSession> session;
  // Implicit TLS needs no upgrade: the session offers none.
  if (smtp)
    session = std::make_unique<SmtpSession>(accounts_, delivery_, events, tls_ && !implicit);
  else
    session = std::make_unique<Pop3Session>(accounts_, store_, events, tls_ && !implicit);
  // A client that stops reading cannot hold a session thread, and with it the stop, for ever.
  platform::setSendTimeout(socket, kSendTimeoutMs);
  ConnectionEnd end = implicit && !handshake() ? ConnectionEnd::kTlsFailed
                                               : runConnection(socket, *session, stopping_, kIdleTimeoutMs, handshake);
  session.reset();
  platform::closeSocket(socket);
  events(endText(end));
}

void Server::joinFinishedConnections() {
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  connections_.remove_if([](Connection& connection) {
    if (!connection.done) return false;
    connection.thread.join();
    return true;
  });
}

}  // namespace mailsandbox
