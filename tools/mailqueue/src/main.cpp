// mailqueue: queues mail and delivers it through the sending engine.
//
//   mailqueue [--settings FILE] submit --from ADDR --to ADDR [--to ADDR ...] [--subject TEXT]
//                                      [--body-file FILE] [--attach FILE ...]
//   mailqueue [--settings FILE] submit --from ADDR --to ADDR [--to ADDR ...] --eml FILE
//   mailqueue [--settings FILE] run [--once]
//   mailqueue [--settings FILE] list [--json]
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "delivery.h"
#include "listing.h"
#include "mailsignoff_version.h"
#include "settings.h"
#include "submit.h"

namespace {

using namespace mailqueue;

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onStopSignal(int) { g_stop.store(true); }

// True when standard output is the journal's stream: the device and inode that systemd puts into
// JOURNAL_STREAM for a service (a program started from within a service has another stdout).
bool outputIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  struct stat st {};
  if (stream == nullptr || ::fstat(STDOUT_FILENO, &st) != 0) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  return device == static_cast<unsigned long long>(st.st_dev) &&
         inode == static_cast<unsigned long long>(st.st_ino);
}

const char kUsage[] =
    "usage: mailqueue [--settings FILE] COMMAND ...\n"
    "  submit --from ADDR --to ADDR [--to ADDR ...] [--subject TEXT] [--body-file FILE]\n"
    "         [--attach FILE ...]      compose a message and queue it, one mission per recipient\n"
    "  submit --from ADDR --to ADDR [--to ADDR ...] --eml FILE\n"
    "                                  queue a whole message as it is\n"
    "  run [--once]                    deliver due missions; --once: what is due now, then exit\n"
    "  list [--json]                   the missions with state, tries, next delivery, last reply\n"
    "Without --settings: $MAILQUEUE_SETTINGS, else ./mailqueue.ini (made when missing).\n"
    "  --version                       print the version\n";

int usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "mailqueue: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

int fail(const std::string& why) {
  std::fprintf(stderr, "mailqueue: %s\n", why.c_str());
  return 1;
}

struct Arguments {
  std::string settings;
  std::string command;
  SubmitRequest submit;
  bool once = false;
  bool json = false;
};

bool parse(int argc, char** argv, Arguments& args, std::string& problem) {
  std::vector<std::string> words(argv + 1, argv + argc);
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= words.size()) {
        problem = word + " needs a value";
        return false;
      }
      into = words[++i];
      return true;
    };
    std::string item;
    if (word == "--settings" || word == "-c") {
      if (!value(args.settings)) return false;
    } else if (args.command.empty() && !word.empty() && word[0] != '-') {
      args.command = word;
    } else if (args.command == "submit" && word == "--from") {
      if (!value(args.submit.from)) return false;
    } else if (args.command == "submit" && word == "--to") {
      if (!value(item)) return false;
      args.submit.to.push_back(item);
    } else if (args.command == "submit" && word == "--subject") {
      if (!value(args.submit.subject)) return false;
    } else if (args.command == "submit" && word == "--body-file") {
      if (!value(args.submit.bodyFile)) return false;
    } else if (args.command == "submit" && word == "--attach") {
      if (!value(item)) return false;
      args.submit.attachments.push_back(item);
    } else if (args.command == "submit" && word == "--eml") {
      if (!value(args.submit.eml)) return false;
    } else if (args.command == "run" && word == "--once") {
      args.once = true;
    } else if (args.command == "list" && word == "--json") {
      args.json = true;
    } else if (word == "--help" || word == "-h") {
      problem.clear();
      return false;
    } else {
      problem = "unknown argument " + word;
      return false;
    }
  }
  if (args.command != "submit" && args.command != "run" && args.command != "list") {
    problem = args.command.empty() ? "no command" : "unknown command " + args.command;
    return false;
  }
  if (!args.submit.eml.empty() &&
      (!args.submit.bodyFile.empty() || !args.submit.attachments.empty())) {
    problem = "--eml takes the whole message: no --body-file or --attach with it";
    return false;
  }
  return true;
}

int runCommand(const Settings& settings, bool once) {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  RunOptions options;
  options.once = once;
  options.progress = ::isatty(STDOUT_FILENO) ? stdout : nullptr;
  // Under systemd, one line per mission for the journal (JOURNAL_STREAM names stdout's stream).
  options.events = outputIsJournal() ? stdout : nullptr;
  RunSummary summary;
  std::string why;
  if (!deliver(settings, options, g_stop, summary, why, stderr)) return fail(why);
  std::printf("%d sent, %d rescheduled, %d given up", summary.sent, summary.rescheduled,
              summary.givenUp);
  if (summary.returned > 0) std::printf(", %d returned to the queue unsent", summary.returned);
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("mailqueue %s\n", MAILSIGNOFF_VERSION);
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  Arguments args;
  std::string problem;
  if (!parse(argc, argv, args, problem)) return usage(problem);
  std::string file, note, why;
  if (!locateSettings(args.settings, file, note, why)) return fail(why);
  if (!note.empty()) std::fprintf(stderr, "mailqueue: %s\n", note.c_str());
  const Settings settings = loadSettings(file);

  if (args.command == "submit") {
    std::vector<std::string> ids;
    const bool queued = submit(settings, args.submit, ids, why);
    for (const std::string& id : ids) std::printf("%s\n", id.c_str());
    if (!why.empty()) std::fprintf(stderr, "mailqueue: %s\n", why.c_str());
    return queued && why.empty() ? 0 : 1;
  }
  if (args.command == "run") return runCommand(settings, args.once);

  std::vector<tagQueuedMission> missions;
  if (!readMissions(settings, missions, why)) return fail(why);
  if (args.json)
    writeJson(missions, std::cout);
  else
    writeTable(missions, static_cast<long>(std::time(nullptr)), std::cout);
  return 0;
}
