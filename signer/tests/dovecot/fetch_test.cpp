// Fetching sign-off tasks from the supervisor's mailbox on a real Dovecot.
#include <gtest/gtest.h>

#include "real_servers.h"
#include "store/task_store.h"
#include "views/signer_view.h"

namespace {

class Fetch : public dovecot::Test {
 protected:
  void SetUp() override {
    dovecot::Test::SetUp();
    if (IsSkipped() || HasFailure()) return;
    peer.clear("boss");
    ASSERT_TRUE(signer.Start());
  }
  tagTestLogin Login(const std::string& password = "boss-secret") const {
    return {.user = "boss", .password = password, .pop3Port = peer.port()};
  }
  CSignerApp& App() { return signer.App(); }

  SignerFixture signer;
};

TEST_F(Fetch, HeldMessagesBecomeTasksOnceAndLeaveTheMailbox) {
  peer.deliver("boss", HeldMessage("First", "md50000000001"));
  peer.deliver("boss", HeldMessage("First", "md50000000001"));  // held twice
  peer.deliver("boss", HeldMessage("Second", "md50000000002"));
  ASSERT_TRUE(signer.LogIn(Login()));
  ASSERT_TRUE(realservers::WaitFor([&] { return App().m_pTaskView->RowCount() == 2; }));
  ASSERT_TRUE(realservers::WaitFor([&] { return signer.Title() == "主管签审 - boss - 2 待审"; }));
  EXPECT_EQ(App().m_pTaskView->TaskId(0), "QV000000003");
  EXPECT_EQ(App().m_pTaskView->TaskId(1), "QV000000001");
  EXPECT_EQ(StoredTaskIds("HOME_boss"), (std::vector<std::string>{"QV000000001", "QV000000003"}));
  EXPECT_EQ(testsupport::readFile("HOME_boss/QV000000003.eml"),
            HeldMessage("Second", "md50000000002"));
  EXPECT_TRUE(
      realservers::WaitFor([&] { return realservers::TakeAll(peer.port(), "boss").empty(); }));
}

TEST_F(Fetch, WrongPasswordShowsDovecotsRefusal) {
  ASSERT_TRUE(signer.LogIn(Login("wrong")));
  EXPECT_TRUE(realservers::WaitFor([&] {
    return signer.Title() ==
           "主管签审 - 登录到服务器失败。-ERR [AUTH] Authentication failed. (4946)";
  })) << signer.Title().toStdString();
  EXPECT_FALSE(App().m_bOnline);
}

}  // namespace
