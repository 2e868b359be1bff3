#pragma once

#include <string>
#include <vector>

#include "views/report_list.h"

// A queued task as the queue list shows it; queued is the time it was queued, as the list shows it.
struct tagQueueRow {
  std::string From;
  std::string Subject;
  std::string To;
  std::string TaskId;
  std::string Queued;
};

// The queue list: approved and returned tasks waiting to be sent, and those sent in this run. Rows
// are only ever appended, so a row number stays valid for the whole run.
class CQueueView : public CReportList {
  Q_OBJECT
 public:
  // A row's status as the sending reads and compares it, whatever the language; the column shows
  // it in the user's language.
  static constexpr char kWaiting[] = QT_TRANSLATE_NOOP("Signer", "待发");
  static constexpr char kRetry[] = QT_TRANSLATE_NOOP("Signer", "重发");
  static constexpr char kSent[] = QT_TRANSLATE_NOOP("Signer", "完成");

  explicit CQueueView(QWidget* parent = nullptr);
  void OnInitialUpdate();

  // Appends a row that waits to be sent; queued is the time the task was queued, as the list shows
  // it.
  void AddRow(const std::string& from, const std::string& subject, const std::string& to,
              const std::string& taskId, const std::string& queued = ListTimeNow());
  void AddRows(const std::vector<tagQueueRow>& rows);
  std::string Status(int row) const;
  void SetStatus(int row, const char* status);
  // The server's last reply to the row's task, shown as the row's tooltip; empty removes it.
  void SetReply(int row, const std::string& reply);
  std::string Reply(int row) const;
  // The row's task id; empty when the row holds none.
  std::string TaskId(int row) const { return TaskIdOnly(CellText(row, 5)); }

 private:
  // The status as kWaiting, kRetry or kSent give it, kept beside the text shown.
  static constexpr int kStatusRole = Qt::UserRole + 1;
  static void ShowStatus(QTreeWidgetItem* item, const char* status);
};
