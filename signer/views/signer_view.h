#pragma once

#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "reader/mail_reader.h"
#include "views/report_list.h"

class CSignerApp;
class CMessageViewer;

// A task as the task list shows it; arrived is the time the task was stored, as the list shows it.
struct tagTaskRow {
  std::string From;
  std::string To;
  std::string Subject;
  std::string TaskId;
  std::string Arrived;
};

// The task list: the sign-off tasks waiting for a decision, newest at the top, with the commands
// that read, approve and return them. A task is read in the desktop's mail reader, or in the
// built-in viewer when the desktop has none or it cannot be started; either follows the selection
// while it is open.
class CSignerView : public CReportList {
  Q_OBJECT
 public:
  explicit CSignerView(CSignerApp& app, QWidget* parent = nullptr);
  // Ends the reader.
  ~CSignerView() override;
  void OnInitialUpdate();

  // Inserts a row at the top; arrived is the time the task was stored, as the list shows it. When
  // nothing is selected the newest row is, once the arrivals of this burst are in.
  void AddTaskRow(const std::string& from, const std::string& to, const std::string& subject,
                  const std::string& taskId, const std::string& arrived = ListTimeNow());
  // Inserts the rows, given in the order the tasks arrived, so that the last is at the top.
  void AddTaskRows(const std::vector<tagTaskRow>& rows);
  // The row's task id; empty when the row holds none.
  std::string TaskId(int row) const { return TaskIdOnly(CellText(row, 4)); }
  // The first row of the task; -1 when there is none.
  int FindRow(const std::string& taskId) const;
  void DeleteRow(int row);

  // Commands. Approve and return select the task that follows the decided ones once all of them are
  // decided.
  void ReadSelected();
  void SelectPrevious();
  void SelectNext();
  void OnApprove();
  void OnReturn();

  // Reads the selected task in the built-in viewer, whatever reader the desktop has.
  void ReadSelectedInViewer();

  // Ends the reader and closes the built-in viewer.
  void EndReader();
  CMailReader& Reader() { return m_reader; }
  // The built-in viewer; null until a task was shown in it.
  CMessageViewer* Viewer() const { return m_viewer.get(); }
  bool ViewerShown() const;

 signals:
  // The reader's window, found a moment after the reader started on a task: its title is the
  // task's subject.
  void PlaceReader(WId window);

 private:
  // Moves the selection of the first selected row by step rows and opens that task.
  void MoveSelection(int step);
  // Makes the row the only selected one and the current one, and scrolls to it.
  void SelectRow(int row);
  void SelectAfterDecisions(int firstRow, bool allDecided);
  // Selects the newest task when nothing is selected, or when the selection follows arrivals.
  void SelectArrival();
  // The reader's file and expected window title become those of the task.
  void SetReaderTask(const std::string& taskId);
  // After Read: starts the reader. After moving: starts it only while the last one still runs.
  void OpenInReader();
  // Starts the reader on the task and, a moment later, asks for its window to be placed; shows the
  // task in the built-in viewer when no reader can be started.
  void OpenTaskInReader();
  void ShowInViewer();

  CSignerApp& m_app;
  std::string m_strReaderFile;
  bool m_bExplicitOpen = false;
  bool m_bReaderClosed = false;
  // The selection is the one made when tasks arrived to an empty selection: it moves to each newer
  // task until the supervisor changes it.
  bool m_bFollowArrivals = false;
  bool m_bSelecting = false;
  // One selection for a burst of arrivals: selecting at every row would lay out the list each time.
  QTimer m_arrivalSelection;
  QString m_strReaderTitle;
  CMailReader m_reader;
  std::unique_ptr<CMessageViewer> m_viewer;
};
