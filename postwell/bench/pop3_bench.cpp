// Retrieves and deletes 200 messages of 50 KB from a private Dovecot on loopback, once through
// CMailBoxDevice and once through curl over one connection, and prints both times and their ratio.
// Needs root and Dovecot (scripts/install-deps.sh). Usage: pop3_bench [rounds] [--stls]; with --stls
// both go through STLS, verifying the test server's certificate against its private CA.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "loopback_ports.h"
#include "postwell/mailbox_device.h"

namespace {

constexpr int kMessages = 200;
constexpr std::size_t kMessageSize = 50 * 1024;
constexpr int kMailOwner = 5000;

using Clock = std::chrono::steady_clock;

// The private CA of the test server, when the runs go through STLS.
std::string g_caFile;

std::string message(int n) {
  std::string text = "From: bob@example.test\nTo: alice@example.test\nSubject: message " +
                     std::to_string(n) + "\n\n";
  while (text.size() < kMessageSize) text += std::string(75, static_cast<char>('a' + n % 26)) + "\n";
  return text;
}

void seed(const std::filesystem::path& mailbox) {
  for (int n = 1; n <= kMessages; ++n) {
    const std::string name = std::to_string(1700000000 + n) + ".M" + std::to_string(::getpid()) + ".bench";
    const std::filesystem::path temporary = mailbox / "tmp" / name;
    std::ofstream(temporary, std::ios::binary) << message(n);
    if (::chown(temporary.c_str(), kMailOwner, kMailOwner) != 0) std::perror("chown");
    std::filesystem::rename(temporary, mailbox / "new" / name);
  }
}

std::size_t remaining(const std::filesystem::path& mailbox) {
  std::size_t count = 0;
  for (const char* folder : {"new", "cur"})
    for (const auto& entry : std::filesystem::directory_iterator(mailbox / folder)) count += entry.is_regular_file();
  return count;
}

class NoStatus : public IDeviceOwner {
  long OnDeviceMessage(unsigned, unsigned long, void*) override { return 0; }
};

// Seconds for a check as the approval client runs it: STAT, then RETR and DELE of every message.
double throughMailBoxDevice(int port) {
  NoStatus owner;
  CMailBoxDevice device;
  unsigned long error = 0;
  device.InitializeDevice("", "bench", &owner, error);
  if (!g_caFile.empty()) device.SetSecurity({postwell::ConnectionSecurity::StartTls, g_caFile, ""});
  const auto started = Clock::now();
  if (!device.Connect("127.0.0.1", "alice", "alice-secret", error, port)) {
    std::fprintf(stderr, "connect failed: %lu %s\n", error, device.GetLastCommandResponse().c_str());
    std::exit(1);
  }
  int count = 0, size = 0;
  device.Statistics(count, size, error);
  std::size_t bytes = 0;
  for (int n = 1; n <= count; ++n) {
    CPop3Message retrieved;
    if (!device.Retrieve(n, retrieved, error) || !device.Delete(n, error)) {
      std::fprintf(stderr, "message %d failed: %s\n", n, device.GetLastCommandResponse().c_str());
      std::exit(1);
    }
    bytes += std::string(retrieved.GetMessageText()).size();
  }
  device.Disconnect();
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (count != kMessages || bytes < kMessages * kMessageSize) {
    std::fprintf(stderr, "retrieved %d messages, %zu bytes\n", count, bytes);
    std::exit(1);
  }
  return seconds;
}

// Seconds for curl to retrieve every message and then delete them, all over one connection.
double throughCurl(int port) {
  const std::string url = "pop3://127.0.0.1:" + std::to_string(port) + "/[1-" + std::to_string(kMessages) + "]";
  const std::string tls = g_caFile.empty() ? "" : " --ssl-reqd --cacert '" + g_caFile + "'";
  const std::string command = "curl -sS --fail" + tls + " -u alice:alice-secret '" + url + "' -o /dev/null" +
                              " --next -sS --fail" + tls + " -u alice:alice-secret -X DELE -I '" + url + "' >/dev/null";
  const auto started = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "curl failed: %s\n", command.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - started).count();
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  bool stls = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--stls")
      stls = true;
    else
      rounds = std::max(1, std::atoi(argv[i]));
  }
  char dirTemplate[] = "/tmp/pop3-bench-XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr) return 1;
  // Dovecot's own users must reach the files inside.
  std::filesystem::permissions(dirTemplate, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                                std::filesystem::perms::others_exec);
  const std::filesystem::path dir = std::filesystem::path(dirTemplate) / "dovecot";
  const int port = bench::freeLoopbackPort();
  const std::string script = DOVECOT_SCRIPT;
  if (std::system((script + " start " + dir.string() + " " + std::to_string(port)).c_str()) != 0 ||
      !std::filesystem::exists(dir / "ready")) {
    std::fprintf(stderr, "Dovecot did not start (needs root and dovecot-pop3d)\n");
    return 1;
  }
  const std::filesystem::path mailbox = dir / "mail" / "alice";
  if (stls) g_caFile = (std::filesystem::canonical(dir) / "tls" / "ca.pem").string();

  double ours = 1e9, curl = 1e9;
  for (int round = 0; round < rounds; ++round) {
    seed(mailbox);
    ours = std::min(ours, throughMailBoxDevice(port));
    if (remaining(mailbox) != 0) std::fprintf(stderr, "CMailBoxDevice left messages behind\n");
    seed(mailbox);
    curl = std::min(curl, throughCurl(port));
    if (remaining(mailbox) != 0) std::fprintf(stderr, "curl left messages behind\n");
  }

  std::system((script + " stop " + dir.string()).c_str());
  std::filesystem::remove_all(dirTemplate);

  std::printf("%d messages of %zu KB, retrieved and deleted%s (best of %d rounds)\n", kMessages,
              kMessageSize / 1024, stls ? " over STLS" : "", rounds);
  std::printf("  CMailBoxDevice  %8.3f s\n", ours);
  std::printf("  curl            %8.3f s\n", curl);
  std::printf("  ratio           %8.2f (goal: at most 1.00)\n", ours / curl);
  return 0;
}
