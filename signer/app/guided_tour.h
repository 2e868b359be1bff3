#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

class CSignerApp;

struct tagTourOptions {
  // Where each step's picture of the window is saved; empty: no pictures.
  QString m_strScreenshotDir;
  // The password typed into the login dialog; the other fields come from Signer.ini.
  QString m_strPassword;
  // How many held messages the tour waits for before it decides.
  int m_nTasks = 1;
  QString m_strReason = QStringLiteral("请补充说明");
  std::chrono::milliseconds m_stepTimeout{30000};
};

// A tour of Signer that runs by itself through its own commands: log in, wait for the held
// messages, read one in the built-in viewer, approve it, return the next with a reason, wait until
// both are sent. Each step saves a picture of the window and has a time limit. Create it on the GUI
// thread after InitInstance.
class CGuidedTour : public QObject {
  Q_OBJECT
 public:
  CGuidedTour(CSignerApp& app, tagTourOptions options);

  void Start();

 signals:
  // Once, at the end: ok, or the step that did not finish in time.
  void Finished(bool ok, const QString& failedStep);

 private:
  struct tagStep {
    QString m_strName;
    // Runs once when the step begins.
    std::function<void()> m_begin;
    // Polled until true or the time limit.
    std::function<bool()> m_done;
  };

  void Poll();
  void Next();
  void Fail(const QString& why);
  void Screenshot(QWidget* widget, const QString& name);
  // Answers the return reason dialog as soon as it shows.
  void AnswerReasonDialog();
  bool AllQueuedSent() const;

  CSignerApp& m_app;
  tagTourOptions m_options;
  std::vector<tagStep> m_steps;
  std::size_t m_nStep = 0;
  int m_nPicture = 0;
  bool m_bInStep = false;
  bool m_bFinished = false;
  std::chrono::steady_clock::time_point m_stepStart;
  QTimer m_poll;
  std::string m_strApproved;
  std::string m_strReturned;
};
