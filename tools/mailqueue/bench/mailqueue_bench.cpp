// Queues 1,000 messages of 10 KB with `mailqueue submit` (one process per message, as a script
// would) and delivers them to a private Postfix (with its Dovecot) with `mailqueue run --once`,
// then sends as many messages of that size with Postfix's smtp-source -d to the same Postfix, and
// prints missions per second for each step. The queue is the default SQLite file.
// Needs root, postfix and dovecot-pop3d. Usage: mailqueue_bench [rounds]
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kMessages = 1000;
constexpr std::size_t kMessageSize = 10 * 1024;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Device settings take ports up to 9999.
int freeLowPort(int from) {
  for (int port = from; port < 10000; ++port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool free = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    if (free) return port;
  }
  std::fprintf(stderr, "no free port below 10000\n");
  std::exit(1);
}

double timed(const std::string& command) {
  const auto started = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - started).count();
}

// A message of about kMessageSize bytes: a few header fields and lines of 76 characters.
std::string message(int n) {
  std::string text = "From: alice@example.test\nTo: bob@example.test\nSubject: bench " +
                     std::to_string(n) + "\n\n";
  while (text.size() < kMessageSize)
    text += std::string(76, static_cast<char>('a' + n % 26)) + "\n";
  return text;
}

// Waits until Postfix has delivered every message into bob's mailbox, then empties it.
void drain(const fs::path& mailbox) {
  for (int i = 0; i < 1200; ++i) {
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
      for (const auto& entry : fs::directory_iterator(mailbox / folder)) fs::remove(entry.path());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  char dirTemplate[] = "/tmp/mailqueue-bench-XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr) return 1;
  const fs::path root = dirTemplate;
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  const fs::path dovecotDir = root / "dovecot";
  const fs::path postfixDir = root / "postfix";
  const int dovecotPort = freeLowPort(9400);
  const int postfixPort = freeLowPort(9500);
  const std::string scripts = std::string(MAILSIGNOFF_SOURCE_DIR) + "/scripts/peers/";
  const std::string program = MAILQUEUE_PATH;
  if (std::system(
          (scripts + "dovecot.sh start " + dovecotDir.string() + " " + std::to_string(dovecotPort))
              .c_str()) != 0 ||
      std::system(("MAILSIGNOFF_DOVECOT_DIR=" + dovecotDir.string() + " " + scripts +
                   "postfix.sh start " + postfixDir.string() + " " + std::to_string(postfixPort))
                      .c_str()) != 0 ||
      !fs::exists(postfixDir / "ready")) {
    std::fprintf(stderr, "Postfix did not start (needs root, postfix and dovecot-pop3d)\n");
    return 1;
  }
  const fs::path mailbox = dovecotDir / "mail" / "bob";
  fs::create_directories(root / "messages");
  for (int n = 0; n < kMessages; ++n)
    std::ofstream(root / "messages" / ("m" + std::to_string(n) + ".eml")) << message(n);

  double submit = 1e9, run = 1e9, source = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const fs::path work = root / ("round" + std::to_string(round));
    fs::create_directories(work);
    const std::string settings = (work / "mailqueue.ini").string();
    std::ofstream(settings) << "[DBInfo]\nCnnStr=\n[Delivery]\nSpool=spool\n"
                            << "[Default Server]\nSMTPSERVER=127.0.0.1\nSMTPPORT=" << postfixPort
                            << "\nTIMEOUT=30\n";
    // One process per message, in one shell.
    const fs::path script = work / "submit.sh";
    {
      std::ofstream out(script);
      for (int n = 0; n < kMessages; ++n)
        out << program << " --settings " << settings
            << " submit --from alice@example.test --to bob@example.test --eml "
            << (root / "messages" / ("m" + std::to_string(n) + ".eml")).string()
            << " >/dev/null || exit 1\n";
    }
    submit = std::min(submit, timed("sh " + script.string()));
    const std::string out = (work / "run.out").string();
    run = std::min(run, timed(program + " --settings " + settings + " run --once >" + out));
    std::ifstream summary(out);
    std::string line;
    std::getline(summary, line);
    if (line.rfind(std::to_string(kMessages) + " sent, 0", 0) != 0) {
      std::fprintf(stderr, "mailqueue run: %s\n", line.c_str());
      return 1;
    }
    drain(mailbox);
    source =
        std::min(source, timed("/usr/sbin/smtp-source -d -s 1 -m " + std::to_string(kMessages) +
                               " -l " + std::to_string(kMessageSize) +
                               " -f alice@example.test -t bob@example.test 127.0.0.1:" +
                               std::to_string(postfixPort)));
    drain(mailbox);
  }
  std::system((scripts + "postfix.sh stop " + postfixDir.string() + " >/dev/null 2>&1").c_str());
  std::system((scripts + "dovecot.sh stop " + dovecotDir.string() + " >/dev/null 2>&1").c_str());
  fs::remove_all(root);

  std::printf("%d messages of %zu KB to Postfix, best of %d\n", kMessages, kMessageSize / 1024,
              rounds);
  std::printf("  mailqueue submit    %8.3f s  %8.1f missions/s (one process each)\n", submit,
              kMessages / submit);
  std::printf("  mailqueue run       %8.3f s  %8.1f missions/s\n", run, kMessages / run);
  std::printf("  smtp-source -d      %8.3f s  %8.1f messages/s\n", source, kMessages / source);
  std::printf("  run/smtp-source rate %6.2f (goal: at least 0.50)\n", source / run);
  return 0;
}
