#pragma once
// What the SMTP device tests share: a device whose owner records every notice, and the usual
// beginnings of a scripted SMTP conversation.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "postwell/device_owner.h"
#include "postwell/mail_device.h"
#include "platform/host_name.h"
#include "scripted_server.h"
#include "temp_dir.h"

namespace smtptest {

// One owner notice as it was when it arrived: the status text for 1286, the progress record's state
// and percentage for 1287.
struct Notice {
  unsigned message = 0;
  unsigned long wParam = 0;
  std::string status;
  const void* record = nullptr;
  int state = -1;
  int percent = -1;
};

class RecordingOwner : public IDeviceOwner {
 public:
  long OnDeviceMessage(unsigned message, unsigned long wParam, void* lParam) override {
    Notice notice;
    notice.message = message;
    notice.wParam = wParam;
    notice.record = lParam;
    if (message == 1286) notice.status = static_cast<CMailDevice*>(lParam)->GetDeviceStatus();
    if (message == 1287 && lParam != nullptr) {
      const auto* record = static_cast<CMailDevice_SendMailInfo*>(lParam);
      notice.state = record->m_nState;
      notice.percent = record->m_nPercent;
    }
    notices.push_back(notice);
    return 0;
  }

  std::vector<std::string> statuses() const {
    std::vector<std::string> texts;
    for (const Notice& n : notices)
      if (n.message == 1286) texts.push_back(n.status);
    return texts;
  }
  std::vector<Notice> progress() const {
    std::vector<Notice> found;
    for (const Notice& n : notices)
      if (n.message == 1287) found.push_back(n);
    return found;
  }

  std::vector<Notice> notices;
};

// A device with an owner, and access to what the device operations would set.
class TestDevice : public CMailDevice {
 public:
  explicit TestDevice(IDeviceOwner* owner = nullptr) { m_hOwnerWnd = owner; }
  using CMailDevice::m_arrSendMission;
  using CMailDevice::m_bConnected;
  using CMailDevice::m_Setting;
};

inline testsupport::Script& greetAndHelo(testsupport::Script& script) {
  return script.send("220 mx.test ESMTP\r\n").expectPrefix("HELO ").send("250 mx.test\r\n");
}

inline testsupport::Script& quit(testsupport::Script& script) {
  return script.expect("QUIT").send("221 bye\r\n");
}

// The HELO line the device sends.
inline const std::string& helloLine() {
  static const std::string hello = "HELO " + platform::localHostName().substr(0, 100) + "\r\n";
  return hello;
}

// A device connected to a scripted server, with messages whose content lies in files.
class SessionTest : public ::testing::Test {
 protected:
  void connect() {
    server.start();
    unsigned long error = 0;
    ASSERT_EQ(device.MailFunc_Connect("127.0.0.1", server.port(), error), 1);
  }
  CSMTPMessage message(const std::string& from, const std::string& to, const std::string& content) {
    CSMTPMessage m;
    m.m_From.m_sAddress = from;
    m.m_Recipient1.m_sAddress = to;
    m.m_sContentFile = dir.file("content" + std::to_string(files++) + ".eml");
    testsupport::writeFile(m.m_sContentFile, content);
    return m;
  }
  // Everything the client sent after HELO.
  std::string conversation() {
    device.Disconnect();
    server.stop();
    EXPECT_TRUE(server.mismatches().empty()) << server.mismatches().front();
    return server.received().substr(helloLine().size());
  }

  testsupport::TempDir dir;
  testsupport::ScriptedServer server;
  RecordingOwner owner;
  TestDevice device{&owner};
  int files = 0;
};

}  // namespace smtptest
