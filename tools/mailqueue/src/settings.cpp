#include "settings.h"

#include <cstdlib>
#include <filesystem>

#include "postwell/setting_ini.h"
#include "spool.h"

namespace mailqueue {

const char kDefaultSettings[] =
    "; mailqueue settings. The queue is the SQLite file mailqueue.db beside this file; for\n"
    "; PostgreSQL set CnnStr=Driver=PostgreSQL Unicode;Server=...;Port=5432;Database=...\n"
    "[DBInfo]\n"
    "CnnStr=\n"
    "UserName=\n"
    "Password=\n"
    "; Seconds a database statement may take, for instance waiting for a lock; 0 for no limit.\n"
    "QueryTimeout=30\n"
    "\n"
    "[Delivery]\n"
    "Spool=spool\n"
    "RetryDelay=300\n"
    "MaxRetryDelay=14400\n"
    "MaxTries=6\n"
    "Lease=600\n"
    "BatchSize=100\n"
    "PollInterval=5\n"
    "\n"
    "; Recipient domains or whole sender addresses, and the server project that carries their "
    "mail.\n"
    "[SPECIAL DOMAIN]\n"
    "\n"
    "[Default Server]\n"
    "SMTPSERVER=127.0.0.1\n"
    "SMTPPORT=25\n"
    "AUTHCHECK=NO\n"
    "AUTOGETSMTPSERVER=NO\n"
    "TIMEOUT=30\n";

namespace {

namespace fs = std::filesystem;

const char kSection[] = "Delivery";

std::string value(const std::string& file, const char* key) {
  CSetting_Ini ini;
  std::string text;
  ini.GetAttribute(kSection, key, file.c_str(), text);
  return text;
}

// The value as a number within [low, high], or the fallback when it is none.
long number(const std::string& file, const char* key, long fallback, long low, long high) {
  const std::string text = value(file, key);
  if (text.empty()) return fallback;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || parsed < low || parsed > high) return fallback;
  return parsed;
}

}  // namespace

bool locateSettings(const std::string& given, std::string& file, std::string& note,
                    std::string& why) {
  std::error_code error;
  if (!given.empty() || std::getenv("MAILQUEUE_SETTINGS") != nullptr) {
    const std::string name = !given.empty() ? given : std::getenv("MAILQUEUE_SETTINGS");
    if (!fs::is_regular_file(name, error)) {
      why = "no setting file " + name;
      return false;
    }
    file = fs::absolute(name, error).lexically_normal().string();
    return true;
  }
  file = (fs::current_path(error) / "mailqueue.ini").string();
  if (fs::exists(file, error)) return true;
  if (!writeFileSafely(file, kDefaultSettings, why)) return false;
  note = "wrote the default settings to " + file;
  return true;
}

Settings loadSettings(const std::string& file) {
  Settings settings;
  settings.file = file;
  std::string spool = value(file, "Spool");
  if (spool.empty()) spool = "spool";
  fs::path spoolPath(spool);
  if (spoolPath.is_relative()) spoolPath = fs::path(file).parent_path() / spoolPath;
  settings.spool = spoolPath.lexically_normal().string();
  settings.retryDelay = number(file, "RetryDelay", settings.retryDelay, 0, 86400 * 30);
  settings.maxRetryDelay = number(file, "MaxRetryDelay", settings.maxRetryDelay, 0, 86400 * 30);
  settings.maxTries = static_cast<int>(number(file, "MaxTries", settings.maxTries, 1, 1000));
  settings.lease = number(file, "Lease", settings.lease, 1, 86400 * 7);
  settings.batchSize = static_cast<int>(number(file, "BatchSize", settings.batchSize, 1, 10000));
  settings.pollInterval = number(file, "PollInterval", settings.pollInterval, 1, 3600);
  return settings;
}

long retryDelayAfter(const Settings& settings, int tries) {
  long delay = settings.retryDelay;
  for (int n = 1; n < tries && delay < settings.maxRetryDelay; ++n) delay *= 2;
  return delay < settings.maxRetryDelay ? delay : settings.maxRetryDelay;
}

}  // namespace mailqueue
