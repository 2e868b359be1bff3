// Queues 10,000 missions and hands them all out again, on SQLite (a file in a temporary folder) and
// on a private PostgreSQL cluster on loopback started for the run, from one thread and from eight
// threads with a connection each, and prints missions per second. Every insert and every hand-out
// is its own committed and synced transaction, so one thread's rate is bound by the disk's syncs
// per second; several connections share a sync on PostgreSQL. PostgreSQL needs
// scripts/install-deps.sh (and root, or a user that may run initdb). Usage: queue_bench [missions]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "loopback_ports.h"
#include "postwell/mail_mission.h"
#include "postwell/mail_queue_db.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Failures : IDeviceException {
  void OnDeviceException(tagDeviceException* e) override {
    if (std::string(e->szDescription) != "Have no such record" && ++count <= 3)
      std::fprintf(stderr, "  %s: %s\n", e->szSource, e->szDescription);
  }
  int count = 0;
};

// Inserts and then takes the missions with the given number of threads, each with its own
// connection.
bool run(const char* engine, const std::string& settings, int missions, int threads) {
  const std::string run = std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr)) +
                          "-" + std::to_string(threads);
  std::atomic<bool> ok{true};
  std::atomic<int> taken{0};
  auto parallel = [&](auto work) {
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
      workers.emplace_back([&, t] {
        Failures failures;
        CMailQueueDBVistor queue;
        if (queue.Initialize(&failures, settings.c_str()) != 1) {
          ok = false;
          return;
        }
        work(queue, t);
      });
    for (std::thread& worker : workers) worker.join();
  };

  const auto insertStart = Clock::now();
  parallel([&](CMailQueueDBVistor& queue, int t) {
    CMailMission mission;
    mission.SetMailFrom("sender@example.test");
    mission.SetMailTo("rcpt@example.test");
    mission.SetMailSubject("benchmark");
    mission.SetMailBody("/var/spool/queue/message.eml");
    mission.SetSMTPServerProject("Default Server");
    for (int i = t; i < missions; i += threads) {
      mission.SetMissionID((run + "-" + std::to_string(i)).c_str());
      if (queue.InsertMissionToQueueTable(&mission) != 1) ok = false;
    }
  });
  const double insertSeconds = std::chrono::duration<double>(Clock::now() - insertStart).count();

  const auto takeStart = Clock::now();
  parallel([&](CMailQueueDBVistor& queue, int) {
    tagDeliveryMail mail;
    while (queue.ClaimDeliveryMission("", 0, mail) == 1) ++taken;
  });
  const double takeSeconds = std::chrono::duration<double>(Clock::now() - takeStart).count();
  if (!ok || taken != missions) {
    std::fprintf(stderr, "%s: %d of %d missions handed out\n", engine, taken.load(), missions);
    return false;
  }
  std::printf(
      "%-10s %2d thread(s) %6d missions: inserted %6.0f/s (%.1f s), handed out %6.0f/s (%.1f s)\n",
      engine, threads, missions, missions / insertSeconds, insertSeconds, missions / takeSeconds,
      takeSeconds);
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int missions = argc > 1 ? std::atoi(argv[1]) : 10000;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("queue_bench." + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  int status = 0;

  const std::string sqlite = (dir / "sqlite.ini").string();
  std::ofstream(sqlite) << "[DBInfo]\nCnnStr=Driver=SQLite3;Database="
                        << (dir / "queue.db").string() << "\n";
  for (int threads : {1, 8})
    if (!run("SQLite", sqlite, missions, threads)) status = 1;

  const std::string cluster = (dir / "pg").string();
  const int port = bench::freeLoopbackPort();
  const std::string start =
      std::string(POSTGRESQL_SCRIPT) + " start " + cluster + " " + std::to_string(port);
  if (std::system(start.c_str()) != 0 || std::filesystem::exists(cluster + "/unavailable")) {
    std::fprintf(stderr, "PostgreSQL could not be started\n");
    status = 1;
  } else {
    const std::string postgresql = (dir / "postgresql.ini").string();
    std::ofstream(postgresql) << "[DBInfo]\nUserName=mailtest\nPassword=mailtest-pw\n"
                                 "CnnStr=Driver=PostgreSQL Unicode;Server=127.0.0.1;Port="
                              << port << ";Database=maildb\n";
    for (int threads : {1, 8})
      if (!run("PostgreSQL", postgresql, missions, threads)) status = 1;
    std::system((std::string(POSTGRESQL_SCRIPT) + " stop " + cluster).c_str());
  }
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::canonical(cluster, ignored), ignored);
  std::filesystem::remove_all(dir, ignored);
  return status;
}
