#pragma once
// Runs the mailqueue program as a separate process, as an administrator would.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "temp_dir.h"

extern char** environ;

namespace mailqueuetest {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Starts mailqueue with the arguments, its output going into the two files.
inline pid_t start(const std::vector<std::string>& args, const std::string& outFile,
                   const std::string& errFile) {
  std::vector<std::string> all{MAILQUEUE_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit status of a program that ended normally, else -1.
inline int wait(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

inline Outcome run(const testsupport::TempDir& dir, const std::vector<std::string>& args) {
  static int sequence = 0;
  const std::string out = dir.file("out." + std::to_string(sequence));
  const std::string err = dir.file("err." + std::to_string(sequence++));
  Outcome outcome;
  const pid_t pid = start(args, out, err);
  if (pid < 0) return outcome;
  outcome.status = wait(pid);
  outcome.out = testsupport::readFile(out);
  outcome.err = testsupport::readFile(err);
  return outcome;
}

}  // namespace mailqueuetest
