// Times how long Signer takes from its start to listing a large task store: 10,000 tasks and 1,000
// queued messages of the user named in Signer.ini, listed before any login. Prints each run and the
// median. Usage: signer_bench [runs]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/signer_app.h"
#include "store/task_store.h"
#include "views/queue_view.h"
#include "views/signer_view.h"

namespace {

constexpr int kTasks = 10000;
constexpr int kQueued = 1000;
constexpr qint64 kGiveUpMs = 300000;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A task as the store keeps it; written directly, since the store's own writer syncs every file.
void WriteTask(const std::string& dir, int number) {
  const std::string id = FormatTaskId(std::to_string(number));
  const std::string subject = "Quarterly figures " + std::to_string(number);
  WriteFile(TaskMessagePath(dir, id),
            "Received: from pc1 by demo.test with ESMTP id md5" + std::to_string(number) +
                ".msg\r\nFrom: \"Ann\" <ann@demo.test>\r\nTo: bob@example.test\r\nSubject: " +
                subject + "\r\n\r\nPlease send this.\r\n");
  WriteFile(TaskHeadPath(dir, id), "[Head]\r\nFrom=\"Ann\" <ann@demo.test>\r\nTo=bob@example.test\r\n"
                                   "Cc=\r\nBcc=\r\nSubject=" + subject + "\r\nMsgId=" + id +
                                       "\r\nWaterId=with ESMTP id md5" + std::to_string(number) +
                                       "\r\n");
}

void WriteStore() {
  WriteFile("Signer.ini", "[Login]\r\nUserName=boss\r\nServer=127.0.0.1\r\nPort=110\r\nSMTPPort=25\r\n");
  QDir().mkpath("HOME_boss/Queue");
  for (int number = 1; number <= kTasks; ++number) WriteTask("HOME_boss", number);
  for (int number = kTasks + 1; number <= kTasks + kQueued; ++number) WriteTask("HOME_boss/Queue", number);
  WriteFile("HOME_boss/HiWater.mrk", "[Indicator]\r\nId=" + std::to_string(kTasks + kQueued) + "\r\n");
}

// Milliseconds from the start of Signer until both lists are full; -1 when they never are.
qint64 TimeOneStart() {
  QTemporaryDir dir;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  WriteStore();
  QElapsedTimer timer;
  timer.start();
  qint64 listed = -1;
  {
    CSignerApp app({.m_bCheckAtStart = false});
    if (app.InitInstance()) {
      while (timer.elapsed() < kGiveUpMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (app.m_pTaskView->RowCount() == kTasks && app.m_pQueueView->RowCount() == kQueued) {
          listed = timer.elapsed();
          break;
        }
      }
    }
  }
  QDir::setCurrent(previous);
  return listed;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<qint64> times;
  for (int run = 0; run < runs; ++run) {
    const qint64 ms = TimeOneStart();
    if (ms < 0) {
      std::printf("the lists were not full after %lld s\n", static_cast<long long>(kGiveUpMs / 1000));
      return 1;
    }
    std::printf("run %d: %lld ms\n", run + 1, static_cast<long long>(ms));
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("listing %d tasks and %d queued messages at start: median %lld ms (goal < 2000 ms)\n",
              kTasks, kQueued, static_cast<long long>(times[times.size() / 2]));
  return 0;
}
