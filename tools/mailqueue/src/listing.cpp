#include "listing.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace mailqueue {

namespace {

// A value from the queue on one line of a table: control characters become blanks, and a long
// value is cut to width with "..." at its end.
std::string cell(const std::string& value, std::size_t width) {
  std::string out;
  for (char c : value) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
  if (out.size() > width) out = out.substr(0, width - 3) + "...";
  return out;
}

std::string localTime(long seconds) {
  const std::time_t t = seconds;
  std::tm parts{};
  localtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string nextDelivery(const tagQueuedMission& mission, long now) {
  if (mission.nState >= CMailQueueDBVistor::kHandedOut) return "-";
  return mission.tmDelivery <= now ? "now" : localTime(mission.tmDelivery);
}

void pad(std::ostream& out, const std::string& text, std::size_t width) {
  out << text;
  for (std::size_t n = text.size(); n < width + 2; ++n) out << ' ';
}

std::string jsonString(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

class Silent : public IDeviceException {
 public:
  void OnDeviceException(tagDeviceException* e) override { last = e->szDescription; }
  std::string last;
};

}  // namespace

std::string stateName(unsigned state) {
  switch (state) {
    case CMailQueueDBVistor::kQueued:
      return "queued";
    case CMailQueueDBVistor::kRetry:
      return "retry";
    case CMailQueueDBVistor::kHandedOut:
      return "sending";
    case CMailQueueDBVistor::kSent:
      return "sent";
    case CMailQueueDBVistor::kFailed:
      return "failed";
    default:
      return "state " + std::to_string(state);
  }
}

void writeTable(const std::vector<tagQueuedMission>& missions, long now, std::ostream& out) {
  const std::vector<std::string> titles = {"MISSION",       "STATE",     "TRIES",
                                           "NEXT DELIVERY", "RECIPIENT", "LAST REPLY"};
  std::vector<std::vector<std::string>> rows;
  for (const tagQueuedMission& m : missions)
    rows.push_back({cell(m.sMissionID, 63), stateName(m.nState), std::to_string(m.nTries),
                    nextDelivery(m, now), cell(m.sMailTo, 40), cell(m.sLastReply, 70)});
  std::vector<std::size_t> widths;
  for (const std::string& title : titles) widths.push_back(title.size());
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  auto line = [&](const std::vector<std::string>& row) {
    for (std::size_t c = 0; c + 1 < row.size(); ++c) pad(out, row[c], widths[c]);
    out << row.back() << '\n';
  };
  line(titles);
  for (const auto& row : rows) line(row);
}

void writeJson(const std::vector<tagQueuedMission>& missions, std::ostream& out) {
  out << "[";
  for (std::size_t i = 0; i < missions.size(); ++i) {
    const tagQueuedMission& m = missions[i];
    out << (i ? ",\n " : "\n ") << "{\"id\": " << jsonString(m.sMissionID)
        << ", \"state\": " << jsonString(stateName(m.nState)) << ", \"stateCode\": " << m.nState
        << ", \"tries\": " << m.nTries << ", \"nextDelivery\": " << m.tmDelivery
        << ", \"requested\": " << m.tmRequest << ", \"from\": " << jsonString(m.sMailFrom)
        << ", \"to\": " << jsonString(m.sMailTo) << ", \"subject\": " << jsonString(m.sSubject)
        << ", \"project\": " << jsonString(m.sSMTPServerProject) << ", \"size\": " << m.nMailSize
        << ", \"leaseUntil\": " << m.tmLeaseUntil << ", \"lastReply\": " << jsonString(m.sLastReply)
        << "}";
  }
  out << (missions.empty() ? "]\n" : "\n]\n");
}

bool readMissions(const Settings& settings, std::vector<tagQueuedMission>& missions,
                  std::string& why) {
  Silent reports;
  CMailQueueDBVistor queue;
  if (!queue.Initialize(&reports, settings.file.c_str()) || !queue.ListMissions(missions)) {
    why = "cannot read the queue named in " + settings.file +
          (reports.last.empty() ? "" : ": " + reports.last);
    return false;
  }
  return true;
}

}  // namespace mailqueue
