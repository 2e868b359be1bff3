#include <gtest/gtest.h>

#include <string>

#include "postwell/setting_ini.h"
#include "temp_dir.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

class SettingIni : public CSetting_Ini {
 public:
  using CSetting_Ini::CompareSettingItem;
};

TEST(SettingIni, MissingKeyOrFileReadsEmptyAndZero) {
  TempDir dir;
  SettingIni ini;
  std::string s = "stale";
  int n = 7;
  ini.GetAttribute("Device", "Host", dir.file("none.ini").c_str(), s);
  ini.GetAttribute("Device", "Port", dir.file("none.ini").c_str(), n);
  EXPECT_EQ(s, "");
  EXPECT_EQ(n, 0);
}

TEST(SettingIni, IntegersReadAsAtoi) {
  TempDir dir;
  std::string file = dir.file("d.ini");
  writeFile(file, "[Device]\r\nPort=25abc\r\nNeg=-12\r\nWord=abc\r\n");
  SettingIni ini;
  int n = 0;
  ini.GetAttribute("Device", "Port", file.c_str(), n);
  EXPECT_EQ(n, 25);
  ini.GetAttribute("Device", "Neg", file.c_str(), n);
  EXPECT_EQ(n, -12);
  ini.GetAttribute("Device", "Word", file.c_str(), n);
  EXPECT_EQ(n, 0);
}

TEST(SettingIni, PutAttributeRoundTripsAndBoundsLongValues) {
  TempDir dir;
  std::string file = dir.file("d.ini");
  SettingIni ini;
  EXPECT_EQ(ini.PutAttribute("Device", "Host", file.c_str(), std::string("mail.example.test")), 1);
  EXPECT_EQ(ini.PutAttribute("Device", "Port", file.c_str(), -25), 1);
  std::string s;
  int n = 0;
  ini.GetAttribute("device", "HOST", file.c_str(), s);
  ini.GetAttribute("Device", "Port", file.c_str(), n);
  EXPECT_EQ(s, "mail.example.test");
  EXPECT_EQ(n, -25);

  EXPECT_EQ(ini.PutAttribute("Device", "Long", file.c_str(), std::string(2000, 'a')), 1);
  ini.GetAttribute("Device", "Long", file.c_str(), s);
  EXPECT_EQ(s, std::string(1023, 'a'));

  std::string before = readFile(file);
  EXPECT_EQ(ini.PutAttribute("Device", "Huge", file.c_str(), std::string(4096, 'b')), 0);
  EXPECT_EQ(readFile(file), before);
}

TEST(SettingIni, PutAttributeIntoUnwritablePlaceFails) {
  TempDir dir;
  SettingIni ini;
  EXPECT_EQ(ini.PutAttribute("S", "K", dir.file("missing/dir/x.ini").c_str(), std::string("v")), 0);
}

TEST(SettingIni, CompareSettingItemCaseFlag) {
  SettingIni ini;
  EXPECT_EQ(ini.CompareSettingItem("Yes", "YES", 1), 0);
  EXPECT_EQ(ini.CompareSettingItem("Yes", "Yes", 1), 1);
  EXPECT_EQ(ini.CompareSettingItem("Yes", "YES", 0), 1);
  EXPECT_EQ(ini.CompareSettingItem("Yes", "YES", 2), 1);
  EXPECT_EQ(ini.CompareSettingItem("Yes", "No", 0), 0);
}

}  // namespace
