// Sends a batch of 200 messages of 50 KB over one SMTP connection, to Postfix's smtp-sink and to a
// private Postfix (with its Dovecot), through the sending device, through Postfix's smtp-source -d
// and through Python's smtplib, and prints each time and the ratios; then the same batch to that
// Postfix over STARTTLS, through the device and smtplib (smtp-source has no TLS). Needs root,
// postfix, dovecot-pop3d and python3. Usage: send_bench [rounds]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "loopback_ports.h"
#include "postwell/device_owner.h"
#include "postwell/mail_device.h"

namespace {

constexpr int kMessages = 200;
constexpr std::size_t kMessageSize = 50 * 1024;

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string messageName(int n) {
  std::string name = "m";
  name += std::to_string(n);
  name += ".eml";
  return name;
}

// The messages as files: a few header fields and lines of 76 characters, like smtp-source's.
std::vector<std::string> writeMessages(const fs::path& dir, const std::string& from,
                                       const std::string& to) {
  std::vector<std::string> files;
  for (int n = 0; n < kMessages; ++n) {
    std::string text = "From: " + from + "\r\nTo: " + to + "\r\nSubject: batch " +
                       std::to_string(n) + "\r\nMessage-ID: <bench-" + std::to_string(n) +
                       "@client.test>\r\n\r\n";
    while (text.size() < kMessageSize) text += std::string(76, 'X') + "\r\n";
    const fs::path file = dir / messageName(n);
    std::ofstream(file, std::ios::binary) << text;
    files.push_back(file.string());
  }
  return files;
}

struct Owner : IDeviceOwner {
  long OnDeviceMessage(unsigned message, unsigned long, void* p) override {
    if (message == 1287) {
      const auto* m = static_cast<CMailDevice_SendMailInfo*>(p);
      if (m->m_nState == 3) ++sent;
      if (m->m_nState == 2) ++failed;
    }
    return 0;
  }
  int sent = 0;
  int failed = 0;
};

class Device : public CMailDevice {
 public:
  void join() {
    if (m_hSendThread.joinable()) m_hSendThread.join();
  }
};

// `caFile`: STARTTLS, trusting that CA; empty: no TLS.
double throughDevice(const fs::path& dir, int port, const std::vector<std::string>& files,
                     const std::string& from, const std::string& to, const std::string& caFile) {
  const fs::path settings = dir / "device.ini";
  std::ofstream(settings) << "[Default]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" << port
                          << "\nTIMEOUT=60\n"
                          << (caFile.empty() ? ""
                                             : "SECURITY=starttls\nTLSCAFILE=" + caFile + "\n");
  std::vector<std::unique_ptr<CMailDevice_SendMailInfo>> missions;
  for (const std::string& file : files) {
    auto m = std::make_unique<CMailDevice_SendMailInfo>();
    std::strcpy(m->m_szMailFrom, from.c_str());
    std::strcpy(m->m_szRcptTo, to.c_str());
    std::strcpy(m->m_szDataFile, file.c_str());
    missions.push_back(std::move(m));
  }
  Owner owner;
  Device device;
  unsigned long error = 0;
  device.InitializeDevice(settings.c_str(), "bench", &owner, error);
  device.StartDevice();
  device.OccupyDevice();
  for (auto& m : missions) device.AddSendMissionToQueue(m.get());
  const auto started = Clock::now();
  if (!device.StartUpSendProcess(error)) {
    std::fprintf(stderr, "StartUpSendProcess failed: %lu\n", error);
    std::exit(1);
  }
  device.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (owner.sent != kMessages) {
    std::fprintf(stderr, "device: %d sent, %d failed (%s)\n", owner.sent, owner.failed,
                 missions[0]->m_sError.c_str());
    std::exit(1);
  }
  return seconds;
}

double timed(const std::string& command) {
  const auto started = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - started).count();
}

double throughSmtpSource(int port, const std::string& from, const std::string& to) {
  return timed("/usr/sbin/smtp-source -d -s 1 -m " + std::to_string(kMessages) + " -l " +
               std::to_string(kMessageSize) + " -f " + from + " -t " + to +
               " 127.0.0.1:" + std::to_string(port));
}

double throughSmtplib(const fs::path& dir, int port, const std::string& from, const std::string& to,
                      const std::string& caFile) {
  const fs::path script = dir / "send.py";
  // Without TCP_NODELAY the last TLS record of each message waits for a delayed ACK (40 ms).
  std::ofstream(script) << "import smtplib, socket, ssl, sys\n"
                           "files = sys.argv[4:]\n"
                           "bodies = [open(f, 'rb').read() for f in files]\n"
                           "s = smtplib.SMTP('127.0.0.1', int(sys.argv[1]))\n"
                           "s.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)\n"
                        << (caFile.empty()
                                ? ""
                                : "s.starttls(context=ssl.create_default_context(cafile='" +
                                      caFile + "'))\n")
                        << "for body in bodies:\n"
                           "    s.sendmail(sys.argv[2], [sys.argv[3]], body)\n"
                           "s.quit()\n";
  std::string command =
      "python3 " + script.string() + " " + std::to_string(port) + " " + from + " " + to;
  for (int n = 0; n < kMessages; ++n) {
    command += ' ';
    command += (dir / messageName(n)).string();
  }
  return timed(command);
}

struct Times {
  double device = 1e9, source = 1e9, smtplib = 1e9;
};

// `caFile`: over STARTTLS, without smtp-source.
void run(const fs::path& dir, int port, const std::string& from, const std::string& to, int rounds,
         Times& t, const std::function<void()>& afterRound, const std::string& caFile = "") {
  const std::vector<std::string> files = writeMessages(dir, from, to);
  for (int round = 0; round < rounds; ++round) {
    t.device = std::min(t.device, throughDevice(dir, port, files, from, to, caFile));
    afterRound();
    if (caFile.empty()) {
      t.source = std::min(t.source, throughSmtpSource(port, from, to));
      afterRound();
    }
    t.smtplib = std::min(t.smtplib, throughSmtplib(dir, port, from, to, caFile));
    afterRound();
  }
}

void print(const char* server, const Times& t) {
  std::printf("%s\n", server);
  std::printf("  sending device    %8.3f s\n", t.device);
  std::printf("  smtp-source -d    %8.3f s\n", t.source);
  std::printf("  python smtplib    %8.3f s\n", t.smtplib);
  std::printf("  device/smtp-source %7.2f (goal: at most 1.00)\n", t.device / t.source);
  std::printf("  device/smtplib     %7.2f\n", t.device / t.smtplib);
}

void printTls(const char* server, const Times& t) {
  std::printf("%s\n", server);
  std::printf("  sending device    %8.3f s\n", t.device);
  std::printf("  python smtplib    %8.3f s\n", t.smtplib);
  std::printf("  device/smtplib     %7.2f (goal: at most 1.00)\n", t.device / t.smtplib);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  char dirTemplate[] = "/tmp/send-bench-XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr) return 1;
  const fs::path root = dirTemplate;
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);

  // smtp-sink: takes every message and throws it away.
  const int sinkPort = bench::freeLowPort(9300);
  const pid_t sink = ::fork();
  if (sink == 0) {
    const std::string address = "127.0.0.1:" + std::to_string(sinkPort);
    ::execl("/usr/sbin/smtp-sink", "smtp-sink", "-u", "nobody", address.c_str(), "100",
            static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  for (int i = 0; i < 100 && !bench::portAnswers(sinkPort); ++i) ::usleep(20000);
  Times sinkTimes;
  run(root, sinkPort, "a@client.test", "b@sink.test", rounds, sinkTimes, [] {});
  ::kill(sink, SIGTERM);
  ::waitpid(sink, nullptr, 0);

  // Postfix delivering into Dovecot's maildirs; its queue is emptied between rounds.
  const fs::path dovecotDir = root / "dovecot";
  const fs::path postfixDir = root / "postfix";
  const int dovecotPort = bench::freeLowPort(9400);
  const int postfixPort = bench::freeLowPort(9500);
  const std::string dovecot = DOVECOT_SCRIPT, postfix = POSTFIX_SCRIPT;
  Times postfixTimes, postfixTlsTimes;
  bool postfixRan = false;
  if (std::system((dovecot + " start " + dovecotDir.string() + " " + std::to_string(dovecotPort))
                      .c_str()) == 0 &&
      std::system(("MAILSIGNOFF_DOVECOT_DIR=" + dovecotDir.string() + " " + postfix + " start " +
                   postfixDir.string() + " " + std::to_string(postfixPort))
                      .c_str()) == 0 &&
      fs::exists(postfixDir / "ready")) {
    const fs::path mailbox = dovecotDir / "mail" / "bob";
    fs::create_directories(root / "postfix-messages");
    auto drain = [&] {
      // Waits until Postfix has delivered everything, then empties the mailbox.
      for (int i = 0; i < 600; ++i) {
        std::size_t count = 0;
        for (const char* folder : {"new", "cur"})
          if (fs::exists(mailbox / folder))
            for (const auto& entry : fs::directory_iterator(mailbox / folder))
              count += entry.is_regular_file();
        if (count >= static_cast<std::size_t>(kMessages)) break;
        ::usleep(50000);
      }
      for (const char* folder : {"new", "cur"})
        if (fs::exists(mailbox / folder))
          for (const auto& entry : fs::directory_iterator(mailbox / folder))
            fs::remove(entry.path());
    };
    run(root / "postfix-messages", postfixPort, "alice@example.test", "bob@example.test", rounds,
        postfixTimes, drain);
    // The port after Postfix's own requires STARTTLS, with a certificate from the fixture's CA.
    run(root / "postfix-messages", postfixPort + 1, "alice@example.test", "bob@example.test",
        rounds, postfixTlsTimes, drain, (postfixDir / "tls" / "ca.pem").string());
    postfixRan = true;
  } else {
    std::fprintf(stderr, "Postfix did not start (needs root, postfix and dovecot-pop3d)\n");
  }
  std::system((postfix + " stop " + postfixDir.string() + " >/dev/null 2>&1").c_str());
  std::system((dovecot + " stop " + dovecotDir.string() + " >/dev/null 2>&1").c_str());
  fs::remove_all(root);

  std::printf("%d messages of %zu KB over one connection (best of %d rounds)\n", kMessages,
              kMessageSize / 1024, rounds);
  print("smtp-sink", sinkTimes);
  if (postfixRan) {
    print("Postfix (accepted into its queue)", postfixTimes);
    printTls("Postfix over STARTTLS", postfixTlsTimes);
  }
  return postfixRan ? 0 : 1;
}
