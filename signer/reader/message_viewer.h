#pragma once

#include <QDialog>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTextBrowser;
class QTreeWidget;

struct tagMessageAttachment {
  // The name the sender gave the part, as the screen shows it.
  QString m_strName;
  // The decoded file inside the viewer's temporary folder.
  QString m_strPath;
  qint64 m_nSize = 0;
};

// A stored message taken apart for reading.
struct tagDecodedMessage {
  QString m_strFrom, m_strTo, m_strCc, m_strSubject, m_strDate;
  QString m_strText;
  bool m_bHtml = false;
  // The parts could not be taken apart: the text is the message's own text after its header.
  bool m_bRaw = false;
  std::vector<tagMessageAttachment> m_attachments;
};

// Takes the message file apart into the folder: header fields decoded for the screen, the body text
// (HTML preferred over its plain alternative) and the other parts as attachments. False when the
// file cannot be read at all.
bool DecodeMessageFile(const std::string& path, const QString& folder, tagDecodedMessage& message);

// A read-only window that shows one task's message: its header, its text (HTML without anything
// fetched from elsewhere) and its attachments, each of which can be saved. Previous and next ask
// the task list to move; the list then shows the task it moved to. Approve and return ask the task
// list to decide the task shown, while deciding is allowed. Opened over the main window, it stands
// above it, as the desktop's reader is placed, at the size the user left it at.
class CMessageViewer : public QDialog {
  Q_OBJECT
 public:
  // Where to save an attachment, given its name; empty cancels.
  using AskSavePath = std::function<QString(const QString& suggestedName)>;
  // Whether an existing file may be replaced.
  using ConfirmReplace = std::function<bool(const QString& path)>;

  explicit CMessageViewer(QWidget* parent = nullptr);
  ~CMessageViewer() override;

  // Shows the message file; the previous message's decoded parts are removed first. False when the
  // file cannot be read (the window then says so).
  bool ShowMessage(const std::string& path, bool hasPrevious, bool hasNext);
  const tagDecodedMessage& Message() const { return m_message; }
  // The message file shown; empty when none is.
  const std::string& MessagePath() const { return m_strPath; }

  // Approve and return can be pressed only while this is set and a message is shown; off at first.
  void SetDecisionsEnabled(bool enabled);
  // The temporary folder that holds the decoded parts; empty when there is none.
  QString PartsFolder() const;

  // Saves the attachment to the path (replacing a file that is there, atomically). False with
  // nothing changed when it cannot.
  bool SaveAttachment(std::size_t index, const QString& target);
  // Asks where, asks again before replacing a file, then saves.
  void SaveSelectedAttachment();
  void SetAskSavePath(AskSavePath ask) { m_askSavePath = std::move(ask); }
  void SetConfirmReplace(ConfirmReplace confirm) { m_confirmReplace = std::move(confirm); }

 signals:
  void Previous();
  void Next();
  // The supervisor approves or returns the task shown (签发 Alt+A, 退回 Alt+B).
  void Approve();
  void Return();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Clear();
  void EnableDecisions();
  // Above the main window this viewer belongs to, when there is one on the screen.
  void PlaceAboveMainWindow();
  // Keeps the size in Signer.ini when the user changed it from the one it was placed at.
  void RememberSize();

  std::unique_ptr<QTemporaryDir> m_parts;
  tagDecodedMessage m_message;
  QLabel* m_from;
  QLabel* m_to;
  QLabel* m_cc;
  QLabel* m_subject;
  QLabel* m_date;
  QTextBrowser* m_body;
  QTreeWidget* m_attachments;
  QPushButton* m_save;
  QPushButton* m_previous;
  QPushButton* m_next;
  QPushButton* m_approve;
  QPushButton* m_return;
  bool m_bDecisionsEnabled = false;
  std::string m_strPath;
  // The size it was placed at above the main window (without the frame); invalid when it was not.
  QSize m_placedSize;
  AskSavePath m_askSavePath;
  ConfirmReplace m_confirmReplace;
};
