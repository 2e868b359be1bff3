#pragma once

#include <string>
#include <thread>

#include <QDialog>

#include "core/rule_section.h"
#include "core/sign_off_rule.h"

class QListWidget;

namespace vetrule {
class SupervisorItem;
}

// The main dialog: the supervisors and, for the selected one, the users whose outgoing mail that
// supervisor approves. The rule file is loaded on a worker thread while the dialog opens; saving
// rewrites it with one sign-off rule per supervisor and closes the dialog.
class CvetruleDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CvetruleDlg(QWidget* parent = nullptr);
  ~CvetruleDlg() override;

  // "保存到规则文件": saves and closes; when the file cannot be written, says so and stays open.
  void accept() override;

  // Waits for the loader thread and puts every supervisor it found into the list.
  void finishLoading();

 private:
  void createControls();
  void loadRuleFile();  // runs on the loader thread
  void insertSupervisor(const vetrule::SupervisorRecord& record);
  void showUsersOfSelectedSupervisor();
  void addSupervisor();
  void deleteSupervisor();
  void addUser();
  void deleteUser();
  void showAbout();
  void showMessage(const QString& text);
  vetrule::SupervisorItem* selectedSupervisor() const;

  QListWidget* m_supervisorList = nullptr;
  QListWidget* m_userList = nullptr;
  vetrule::RuleLists m_ruleLists;  // written by the loader thread until finishLoading
  std::thread m_loader;
};
