#include "platform/mx_query.h"

#include <windows.h>
// After windows.h, which it needs.
#include <windns.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// The query runs on a thread of its own, since the system's call has no timeout of its own; a
// query that outlives its caller's patience finishes there and is forgotten.
struct Query {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  DNS_STATUS status = ERROR_TIMEOUT;
  std::vector<MxRecord> records;
};

void run(const std::shared_ptr<Query>& query, std::string domain,
         std::vector<std::uint32_t> servers) {
  std::vector<char> storage(sizeof(IP4_ARRAY) + servers.size() * sizeof(IP4_ADDRESS));
  auto* list = reinterpret_cast<IP4_ARRAY*>(storage.data());
  list->AddrCount = static_cast<DWORD>(servers.size());
  for (std::size_t i = 0; i < servers.size(); ++i) list->AddrArray[i] = servers[i];
  DNS_RECORDA* answer = nullptr;
  const DNS_STATUS status =
      ::DnsQuery_A(domain.c_str(), DNS_TYPE_MX, DNS_QUERY_BYPASS_CACHE | DNS_QUERY_NO_HOSTS_FILE,
                   list, reinterpret_cast<DNS_RECORD**>(&answer), nullptr);
  std::vector<MxRecord> records;
  for (DNS_RECORDA* r = answer; r != nullptr; r = r->pNext)
    if (r->wType == DNS_TYPE_MX && r->Flags.S.Section == DnsSectionAnswer &&
        r->Data.MX.pNameExchange != nullptr)
      records.push_back({r->Data.MX.wPreference, r->Data.MX.pNameExchange});
  if (answer != nullptr)
    ::DnsRecordListFree(reinterpret_cast<DNS_RECORD*>(answer), DnsFreeRecordList);
  std::lock_guard lock(query->mutex);
  query->status = status;
  query->records = std::move(records);
  query->done = true;
  query->finished.notify_all();
}

}  // namespace

MxQueryResult queryMxRecords(const std::string& domain, const std::vector<std::uint32_t>& servers,
                             unsigned long timeoutMs, std::vector<MxRecord>& records,
                             std::string& failure) {
  records.clear();
  auto query = std::make_shared<Query>();
  try {
    std::thread(run, query, domain, servers).detach();
  } catch (...) {
    failure = "The DNS query cannot be started.";
    return MxQueryResult::kNoAnswer;
  }
  std::unique_lock lock(query->mutex);
  if (!query->finished.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&query] { return query->done; })) {
    failure = "The DNS servers did not answer in time.";
    return MxQueryResult::kNoAnswer;
  }
  switch (query->status) {
    case ERROR_SUCCESS:
      records = std::move(query->records);
      return records.empty() ? MxQueryResult::kNoExchanger : MxQueryResult::kAnswered;
    case DNS_ERROR_RCODE_NAME_ERROR:
    case DNS_INFO_NO_RECORDS:
      return MxQueryResult::kNoExchanger;
    case ERROR_TIMEOUT:
      failure = "The DNS servers did not answer in time.";
      return MxQueryResult::kNoAnswer;
    default: {
      char text[256] = "";
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(query->status), 0, text, sizeof text, nullptr);
      failure = "The DNS query failed (" + std::to_string(query->status) + ")";
      if (text[0] != '\0') failure += ": " + std::string(text);
      while (!failure.empty() && (failure.back() == '\n' || failure.back() == '\r'))
        failure.pop_back();
      return MxQueryResult::kNoAnswer;
    }
  }
}

}  // namespace platform
