// Times loading and saving a large rule file: 200 other rules and 1,000 supervisors with 20 users
// each. Prints the median of several runs. Usage: vetrule_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/rule_file_reader.h"
#include "core/rule_file_writer.h"
#include "core/sign_off_rule.h"

namespace {

constexpr int kOtherRules = 200;
constexpr int kSupervisors = 1000;
constexpr int kUsersPerSupervisor = 20;

std::string ruleFileText() {
  std::string text;
  int number = 0;
  auto header = [&] {
    text.append("[").append(vetrule::ruleSectionName(++number)).append("]\r\n");
  };
  for (int i = 0; i < kOtherRules; ++i) {
    header();
    text += "RuleName=Spam filter " + std::to_string(i) + "\r\nEnable=Yes\r\n";
    text += "ThisRuleCondition=All\r\nProcessQueue=LOCAL\r\n";
    text += "Condition01=SUBJECT|contains|OR|offer " + std::to_string(i) + "|\r\n";
    text += "Condition02=X-Spam-Flag|contains|AND|YES|\r\n";
    text += "Action01=move to|\"c:\\MDaemon\\Spam\\\"\r\nAction02=stop|\r\n";
  }
  for (int s = 0; s < kSupervisors; ++s) {
    vetrule::SupervisorRecord record;
    record.supervisorAddress = "chief" + std::to_string(s) + "@example.com";
    for (int u = 0; u < kUsersPerSupervisor; ++u)
      record.userList.push_back("staff" + std::to_string(s) + "-" + std::to_string(u) +
                                "@example.com");
    record.ruleName =
        vetrule::signOffRuleName(static_cast<std::size_t>(s), record.supervisorAddress);
    header();
    for (const auto& [key, value] : vetrule::buildSignOffRule(record).keyMap)
      text += key + "=" + value + "\r\n";
  }
  return text;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("vetrule-bench-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "cfrules.dat").string();
  const std::string text = ruleFileText();

  std::vector<double> loads, saves;
  for (int run = 0; run < runs; ++run) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

    auto start = std::chrono::steady_clock::now();
    vetrule::RuleLists lists;
    if (vetrule::loadRuleFile(path, lists) != 0) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 1;
    }
    std::vector<vetrule::SupervisorRecord> records;
    for (const vetrule::RuleSection& rule : lists.signOffRules)
      records.insert(records.begin(), vetrule::decodeSignOffRule(rule));
    loads.push_back(millisecondsSince(start));

    std::vector<vetrule::SupervisorListEntry> supervisorList;
    for (vetrule::SupervisorRecord& record : records)
      supervisorList.push_back({record.supervisorAddress, &record});
    start = std::chrono::steady_clock::now();
    if (!vetrule::saveRules(supervisorList, lists, path)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    saves.push_back(millisecondsSince(start));
  }
  std::uintmax_t bytes = std::filesystem::file_size(path);
  std::filesystem::remove_all(dir);

  std::printf("rule file: %d other rules, %d supervisors x %d users, %ju bytes\n", kOtherRules,
              kSupervisors, kUsersPerSupervisor, bytes);
  std::printf("load (read and decode): %.1f ms (median of %d)\n", median(loads), runs);
  std::printf("save (build, render, write, rename): %.1f ms (median of %d)\n", median(saves), runs);
  return 0;
}
