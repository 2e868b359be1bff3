#pragma once

#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "reader/mail_reader.h"
#include "views/report_list.h"

class CMessageViewer;
class CTaskLists;
class CTaskModel;

// The task list: the sign-off tasks waiting for a decision, newest at the top, with the commands
// that read, approve and return them (the decisions are asked for through signals). A task is read
// in the desktop's mail reader, or in the built-in viewer when the desktop has none or it cannot be
// started; either follows the selection while it is open.
class CSignerView : public CReportList {
  Q_OBJECT
 public:
  explicit CSignerView(CTaskLists& lists, QWidget* parent = nullptr);
  // Ends the reader.
  ~CSignerView() override;
  void OnInitialUpdate();

  // Commands. Approve and return select the task that follows the decided ones once all of them are
  // decided.
  void ReadSelected();
  void SelectPrevious();
  void SelectNext();
  void OnApprove();
  void OnReturn();

  // Reads the selected task in the built-in viewer, whatever reader the desktop has.
  void ReadSelectedInViewer();
  // Whether tasks may be decided now; the viewer's decision buttons follow it.
  void SetDecisionsAllowed(bool allowed);

  // Ends the reader and closes the built-in viewer.
  void EndReader();
  CMailReader& Reader() { return m_reader; }
  // The built-in viewer; null until a task was shown in it.
  CMessageViewer* Viewer() const { return m_viewer.get(); }
  bool ViewerShown() const;

 signals:
  // The tasks are to be approved, or returned with the reason; each one decided leaves the list
  // before the signal returns.
  void ApproveWanted(const std::vector<std::string>& taskIds);
  void ReturnWanted(const std::vector<std::string>& taskIds, const std::string& reason);
  // The reader's window, found a moment after the reader started on a task: its title is the
  // task's subject.
  void PlaceReader(WId window);

 private:
  // Moves the selection of the first selected row by step rows and opens that task.
  void MoveSelection(int step);
  // Makes the row the only selected one and the current one, and scrolls to it.
  void SelectRow(int row);
  // Selects the task that follows the decided ones once all of them left the list.
  void SelectAfterDecisions(int firstRow, const std::vector<std::string>& taskIds);
  std::vector<std::string> SelectedTaskIds() const;
  // False when the supervisor, asked about a decision over many tasks, says no.
  bool ConfirmDecision(std::size_t count, bool approve);
  // What the return reason dialog names: the task's subject, or the count.
  QString ReturnAbout(const std::vector<int>& rows) const;
  // After a decision asked for in the viewer: it shows the task selected next.
  void ContinueInViewer(const std::vector<std::string>& decided);
  // The viewer's approve and return: on the task it shows.
  void DecideShown(bool approve);
  // Selects the newest task when nothing is selected, or when the selection follows arrivals.
  void SelectArrival();
  bool SelectsOnlyTheFollowedTask() const;
  // The reader's file and expected window title become those of the task.
  void SetReaderTask(const std::string& taskId);
  // After Read: starts the reader. After moving: starts it only while the last one still runs.
  void OpenInReader();
  // Starts the reader on the task and, a moment later, asks for its window to be placed; shows the
  // task in the built-in viewer when no reader can be started.
  void OpenTaskInReader();
  void ShowInViewer();

  CTaskLists& m_lists;
  std::unique_ptr<CTaskModel> m_model;
  std::string m_strReaderFile;
  std::string m_strReaderTaskId;
  bool m_bDecisionsAllowed = false;
  // While a decision asked for in the viewer is made.
  bool m_bDecidingInViewer = false;
  bool m_bExplicitOpen = false;
  bool m_bReaderClosed = false;
  // The selection is the one made when tasks arrived to an empty selection: it moves to each newer
  // task until the supervisor changes it.
  bool m_bFollowArrivals = false;
  QPersistentModelIndex m_followed;
  bool m_bSelecting = false;
  // One selection for a burst of arrivals: selecting at every row would lay out the list each time.
  QTimer m_arrivalSelection;
  QString m_strReaderTitle;
  CMailReader m_reader;
  std::unique_ptr<CMessageViewer> m_viewer;
};
