// mailsandbox: a test stand-in for the mail server, for the demo and the end-to-end tests.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "accounts.h"
#include "certificate.h"
#include "event_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "server.h"

namespace {

constexpr const char* kHelp =
    "usage: mailsandbox --root DIR [--smtp-port N] [--pop3-port N] [--tls [--smtps-port N]\n"
    "                   [--pop3s-port N]]\n"
    "       mailsandbox --root DIR --add-mailbox MAILBOX@DOMAIN --password PASSWORD\n"
    "\n"
    "A test stand-in for the mail server, NOT a mail server: it serves SMTP and POP3 on\n"
    "127.0.0.1 only, for the demo and the end-to-end tests of the mail sign-off system.\n"
    "\n"
    "DIR is laid out like the mail server's directory:\n"
    "  App/cfrules.dat                    content-filter rules; the sign-off rules (RuleName\n"
    "                                     Sign_...) are applied to every message submitted,\n"
    "                                     read afresh each time\n"
    "  Users/<domain>/<mailbox>/          one folder per mailbox, messages as <id>.msg\n"
    "  Users/<domain>/<mailbox>/password  the mailbox's password\n"
    "  Outbox/                            mail for other domains, with its envelope (<id>.env)\n"
    "  App/mailsandbox.ini                the last queue number handed out\n"
    "\n"
    "A message from a user listed in a sign-off rule whose X-Sign header lacks \"vandry!\" is\n"
    "copied to the supervisor's mailbox (first Received field \"... with ESMTP id <id>.msg ...\")\n"
    "and not delivered. Other mail is delivered to the local mailboxes or kept in Outbox/.\n"
    "\n"
    "  --smtp-port N, --pop3-port N   ports on 127.0.0.1 (defaults 2525 and 1110; 0 picks free\n"
    "                                 ports, which are printed)\n"
    "  --tls                          offer STARTTLS (SMTP) and STLS (POP3), and serve SMTPS and\n"
    "                                 POP3S, with a self-signed certificate for localhost and\n"
    "                                 127.0.0.1 made once in App/tls/; its SHA-256 fingerprint\n"
    "                                 is printed, for clients to pin\n"
    "  --smtps-port N, --pop3s-port N ports for implicit TLS (defaults 2465 and 1995)\n"
    "  --add-mailbox ADDRESS          create the mailbox (or set its password) and exit\n"
    "  --password PASSWORD            the password for --add-mailbox\n"
    "\n"
    "One line per session event goes to standard output. SIGINT or SIGTERM stops it.\n";

volatile std::sig_atomic_t g_stopRequested = 0;

void requestStop(int) { g_stopRequested = 1; }

struct Options {
  std::string root;
  unsigned long smtpPort = 2525;
  unsigned long pop3Port = 1110;
  bool tls = false;
  unsigned long smtpsPort = 2465;
  unsigned long pop3sPort = 1995;
  std::optional<std::string> addMailbox;
  std::optional<std::string> password;
};

bool parsePort(const char* text, unsigned long& port) {
  char* end = nullptr;
  port = std::strtoul(text, &end, 10);
  return *text != '\0' && *end == '\0' && port <= 65535;
}

// Nothing when the arguments are wrong; the reason is printed.
std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kHelp, stdout);
      std::exit(0);
    }
    if (name == "--tls") {
      options.tls = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "mailsandbox: %s needs a value (see --help)\n", argv[i]);
      return std::nullopt;
    }
    const char* value = argv[++i];
    if (name == "--root") {
      options.root = value;
    } else if (name == "--smtp-port" || name == "--pop3-port" || name == "--smtps-port" || name == "--pop3s-port") {
      unsigned long& port = name == "--smtp-port"    ? options.smtpPort
                            : name == "--pop3-port"  ? options.pop3Port
                            : name == "--smtps-port" ? options.smtpsPort
                                                     : options.pop3sPort;
      if (!parsePort(value, port)) {
        std::fprintf(stderr, "mailsandbox: %s is no port number\n", value);
        return std::nullopt;
      }
    } else if (name == "--add-mailbox") {
      options.addMailbox = value;
    } else if (name == "--password") {
      options.password = value;
    } else {
      std::fprintf(stderr, "mailsandbox: unknown option %s (see --help)\n", argv[i - 1]);
      return std::nullopt;
    }
  }
  if (options.root.empty()) {
    std::fprintf(stderr, "mailsandbox: --root DIR is required (see --help)\n");
    return std::nullopt;
  }
  if (options.addMailbox.has_value() != options.password.has_value()) {
    std::fprintf(stderr, "mailsandbox: --add-mailbox and --password go together\n");
    return std::nullopt;
  }
  return options;
}

int addMailbox(const Options& options) {
  std::string error;
  mailsandbox::Accounts accounts(mailsandbox::Layout{options.root});
  if (!accounts.addMailbox(*options.addMailbox, *options.password, error)) {
    std::fprintf(stderr, "mailsandbox: %s\n", error.c_str());
    return 1;
  }
  std::printf("mailsandbox: mailbox %s ready\n", options.addMailbox->c_str());
  return 0;
}

int serve(const Options& options) {
  if (!platform::isDirectory(options.root)) {
    std::fprintf(stderr, "mailsandbox: %s is no directory\n", options.root.c_str());
    return 1;
  }
  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);
  mailsandbox::EventLog log(stdout);
  mailsandbox::Server server(mailsandbox::Layout{options.root}, log);
  std::string error;
  mailsandbox::Certificate certificate;
  if (options.tls) {
    if (!mailsandbox::ensureCertificate(mailsandbox::Layout{options.root}.appDirectory() + "/tls", certificate, error)) {
      std::fprintf(stderr, "mailsandbox: %s\n", error.c_str());
      return 1;
    }
    server.enableTls(certificate, static_cast<std::uint16_t>(options.smtpsPort),
                     static_cast<std::uint16_t>(options.pop3sPort));
  }
  if (!server.start(static_cast<std::uint16_t>(options.smtpPort),
                    static_cast<std::uint16_t>(options.pop3Port), error)) {
    std::fprintf(stderr, "mailsandbox: %s\n", error.c_str());
    return 1;
  }
  log.write("mailsandbox, a test stand-in for the mail server, serving " + options.root);
  log.write("SMTP listening on 127.0.0.1:" + std::to_string(server.smtpPort()));
  log.write("POP3 listening on 127.0.0.1:" + std::to_string(server.pop3Port()));
  if (options.tls) {
    log.write("SMTPS listening on 127.0.0.1:" + std::to_string(server.smtpsPort()));
    log.write("POP3S listening on 127.0.0.1:" + std::to_string(server.pop3sPort()));
    log.write("TLS certificate " + certificate.certificateFile + ", SHA-256 " + certificate.sha256);
  }
  while (!g_stopRequested) platform::sleepMs(100);
  log.write("stopping");
  server.stop();
  log.write("stopped");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options = parseOptions(argc, argv);
  if (!options) return 2;
  return options->addMailbox ? addMailbox(*options) : serve(*options);
}
