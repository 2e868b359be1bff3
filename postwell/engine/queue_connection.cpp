#include "engine/queue_connection.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

const char kDefaultDatabaseFile[] = "mailqueue.db";
constexpr unsigned long kDefaultQueryTimeoutSeconds = 30;
// The SQLite driver counts its wait in milliseconds in an int.
constexpr unsigned long kLongestQueryTimeoutSeconds = 2000000;
// A PostgreSQL connection whose server host or network is gone fails after about a minute instead
// of waiting for ever: TCP keepalives while a reply is awaited, and a limit on unacknowledged data.
const char kPostgresqlLiveness[] =
    "pqopt={keepalives=1 keepalives_idle=30 keepalives_interval=10 keepalives_count=3 "
    "tcp_user_timeout=60000};";
const char kMask[] = "******";

bool isSecretAttribute(const std::string& name) {
  return strcasecmp(name.c_str(), "PWD") == 0 || strcasecmp(name.c_str(), "Password") == 0;
}

bool containsNoCase(const std::string& text, const char* part) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(part) != std::string::npos;
}

// A value as it stands between braces in a connection string.
std::string bracedSpelling(const std::string& value) {
  std::string out;
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> connectionAttributes(
    const std::string& connection) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t at = 0;
  while (at < connection.size()) {
    std::size_t equals = connection.find('=', at);
    if (equals == std::string::npos) break;
    std::string name = connection.substr(at, equals - at);
    while (!name.empty() && (name.front() == ' ' || name.front() == ';')) name.erase(0, 1);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    std::string value;
    std::size_t end = equals + 1;
    if (end < connection.size() && connection[end] == '{') {
      ++end;
      while (end < connection.size()) {
        if (connection[end] == '}') {
          if (end + 1 < connection.size() && connection[end + 1] == '}') {
            value += '}';
            end += 2;
            continue;
          }
          ++end;
          break;
        }
        value += connection[end++];
      }
      std::size_t semicolon = connection.find(';', end);
      end = semicolon == std::string::npos ? connection.size() : semicolon;
    } else {
      std::size_t semicolon = connection.find(';', end);
      std::size_t stop = semicolon == std::string::npos ? connection.size() : semicolon;
      value = connection.substr(end, stop - end);
      end = stop;
    }
    out.emplace_back(name, value);
    at = end + 1;
  }
  return out;
}

std::string maskSecrets(std::string text, const std::string& password,
                        const std::string& connection) {
  std::vector<std::string> secrets;
  auto addSecret = [&secrets](const std::string& value) {
    if (value.empty()) return;
    secrets.push_back(value);
    // A driver may quote the connection string as it was written, with "}" doubled.
    if (value.find('}') != std::string::npos) secrets.push_back(bracedSpelling(value));
  };
  addSecret(password);
  for (const auto& [name, value] : connectionAttributes(connection))
    if (isSecretAttribute(name)) addSecret(value);
  // Every place of every secret is found in the text as given, and each run of such places
  // becomes one mask: a secret that holds another is hidden whole, and a secret that the mask
  // itself spells ("*") cannot make the text grow with every secret masked after it.
  std::vector<bool> secret(text.size(), false);
  for (const std::string& value : secrets)
    for (std::size_t at = text.find(value); at != std::string::npos; at = text.find(value, at + 1))
      std::fill_n(secret.begin() + static_cast<std::ptrdiff_t>(at), value.size(), true);
  std::string masked;
  masked.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    if (!secret[at]) {
      masked += text[at++];
      continue;
    }
    masked += kMask;
    while (at < text.size() && secret[at]) ++at;
  }
  return masked;
}

unsigned long queryTimeoutOf(const std::string& setting) {
  if (setting.empty() || setting.size() > 9 ||
      setting.find_first_not_of("0123456789") != std::string::npos)
    return kDefaultQueryTimeoutSeconds;
  return std::min(std::strtoul(setting.c_str(), nullptr, 10), kLongestQueryTimeoutSeconds);
}

std::string effectiveConnection(const std::string& connection, const std::string& settingFile,
                                unsigned long queryTimeout) {
  bool sqlite = connection.empty();
  bool postgresql = false;
  bool namesDatabase = false, namesTimeout = false, namesLibpqOptions = false;
  for (const auto& [name, value] : connectionAttributes(connection)) {
    if (strcasecmp(name.c_str(), "Driver") == 0) {
      if (containsNoCase(value, "sqlite")) sqlite = true;
      if (containsNoCase(value, "postgres")) postgresql = true;
    }
    if ((strcasecmp(name.c_str(), "Database") == 0 || strcasecmp(name.c_str(), "DSN") == 0) &&
        !value.empty())
      namesDatabase = true;
    if (strcasecmp(name.c_str(), "Timeout") == 0) namesTimeout = true;
    if (strcasecmp(name.c_str(), "pqopt") == 0) namesLibpqOptions = true;
  }
  std::string out = connection.empty() ? std::string("Driver=SQLite3;") : connection;
  auto add = [&out](const std::string& attribute) {
    if (out.back() != ';') out += ';';
    out += attribute;
  };
  if (sqlite && !namesDatabase) {
    std::size_t separator = settingFile.find_last_of("/\\");
    std::string file = separator == std::string::npos
                           ? std::string(kDefaultDatabaseFile)
                           : settingFile.substr(0, separator + 1) + kDefaultDatabaseFile;
    add("Database=" + file + ";");
  }
  if (sqlite && !namesTimeout && queryTimeout > 0)
    add("Timeout=" + std::to_string(queryTimeout * 1000) + ";");
  if (postgresql && !namesLibpqOptions) add(kPostgresqlLiveness);
  return out;
}
