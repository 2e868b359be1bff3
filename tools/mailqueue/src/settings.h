#pragma once
// The setting file of mailqueue: the engine's sections (the database, the plug-in, the server
// projects and their domain table) and the program's own section "Delivery".

#include <string>

namespace mailqueue {

// The setting file written where none exists yet: an SQLite queue beside it, the spool directory
// beside it, and every mission to the mail server on this machine.
extern const char kDefaultSettings[];

struct Settings {
  // Absolute path of the setting file.
  std::string file;
  // Absolute path of the directory that holds the queued messages.
  std::string spool;
  // Seconds before the second try; each further try waits twice as long, at most maxRetryDelay.
  long retryDelay = 300;
  long maxRetryDelay = 14400;
  // Tries before a mission is given up.
  int maxTries = 6;
  // Seconds that a mission handed out to a run belongs to it; a run that died gives it back then.
  long lease = 600;
  // Missions taken from the queue at a time.
  int batchSize = 100;
  // Seconds between looks at the queue while nothing is due.
  long pollInterval = 5;
};

// The setting file to use: the one given, else $MAILQUEUE_SETTINGS, else mailqueue.ini in the
// current directory, which is written with the default settings when it does not exist (note says
// so). False with the reason when the file given does not exist or cannot be written.
bool locateSettings(const std::string& given, std::string& file, std::string& note,
                    std::string& why);

// Reads section "Delivery"; a missing or unusable value keeps its default. A relative spool
// directory is relative to the setting file's directory.
Settings loadSettings(const std::string& file);

// Seconds to wait after the given number of failed tries (1 or more).
long retryDelayAfter(const Settings& settings, int tries);

}  // namespace mailqueue
