#pragma once
// The task store in the current directory. "./HOME_<name>" holds each downloaded sign-off task as
// "<id>.eml" (the message as downloaded) and "<id>.inf" (its header summary), and the task counter
// "HiWater.mrk"; its folder "Queue" holds the approved and returned tasks waiting to be sent, in
// the same two files. Task ids are "QV" and the counter, padded with zeros to nine digits.
//
// The ".eml" is written first and the ".inf" last, each complete under its final name (temporary
// name, sync, rename): the ".inf" is what makes the pair a task. Removing a task removes the ".inf"
// first. Whatever else a crash may leave among the task files of a folder is moved to its folder
// "Incomplete" when the store is loaded.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The [Head] section of a task's ".inf".
struct tagTaskHead {
  std::string From;
  std::string To;
  std::string Cc;
  std::string Bcc;
  std::string Subject;
  std::string MsgId;
  std::string WaterId;
  // The envelope recipients the mail server kept in the held copy (its X-Sign-Rcpt fields), Bcc
  // ones included; empty when it kept none, and then To, Cc and Bcc are the recipients.
  std::string Recipients{};
};

// The name of the user's task store: a login name that is a full address names the same mailbox
// as its local part, so "boss@demo.test" and "boss" share "HOME_boss". Characters that cannot stand
// in a plain file name (separators, control characters, and those Windows refuses) become "_".
std::string StoreName(const std::string& user);
// "./HOME_<StoreName(user)>" and its "/Queue", created when missing (a failure to create them is
// noticed when their files are used).
std::string HomeDirectory(const std::string& user);
std::string QueueDirectory(const std::string& user);
// "<dir>/Incomplete", where files that form no complete task are set aside.
std::string IncompleteDirectory(const std::string& dir);
// "<dir>/<id>.eml" and "<dir>/<id>.inf".
std::string TaskMessagePath(const std::string& dir, const std::string& id);
std::string TaskHeadPath(const std::string& dir, const std::string& id);

// "QV" and the counter's text, padded with zeros to at least nine characters.
std::string FormatTaskId(const std::string& counter);
// True for "QV" followed by nine or more digits: the only names of tasks.
bool IsTaskId(std::string_view id);
// The task id of "<dir>/<id>.inf", taken from the file name; empty when it names no task.
std::string TaskIdOfHeadPath(const std::string& headPath);
// Advances the home directory's task counter (64 bits) and returns the new task id. An id whose
// files already exist in the home or the queue directory or among their set-aside files (the
// counter file was lost) is passed over for the next one. Empty when the counter cannot be kept.
std::string DrawTaskId(const std::string& home);

// The mail server's name for a held message, from the value of its first "Received" field: the text
// from "with ESMTP id" up to the first ".msg" after it. Empty when either is missing.
std::string WaterIdFromReceived(const std::string& received);

// Writes the task's message: complete under its final name or not at all. False with the last error
// set when it cannot be written.
bool WriteTaskMessage(const std::string& path, std::string_view text);
// Writes [Head] with the keys in the order of tagTaskHead (Recipients only when there are any),
// each CR, LF and NUL of a value made a blank. False when the file cannot be written.
bool WriteTaskHead(const std::string& path, const tagTaskHead& head);
// The longest [Head] value the approval and sending read from a queued task.
inline constexpr std::size_t kQueuedHeadValueMax = 1023;

// The longest list of envelope recipients read from a task: a thousand long addresses.
inline constexpr std::size_t kRecipientsValueMax = 1 << 20;

// Reads [Head]; missing keys are empty, each value cut to at most maxLength bytes (Recipients to
// kRecipientsValueMax; never inside a UTF-8 character), NUL made a blank.
tagTaskHead ReadTaskHead(const std::string& path, std::size_t maxLength);

// The ids of the complete tasks (both files) in the directory, in the order they were drawn.
std::vector<std::string> StoredTaskIds(const std::string& dir);
// Moves the task files of the directory that form no complete task into IncompleteDirectory(dir):
// an ".eml" without its ".inf" or the other way round, temporary files of either, and ".eml" and
// ".inf" files whose names are no task ids. Other files (the counter) stay. Returns the names
// moved.
std::vector<std::string> SetAsideIncompleteTasks(const std::string& dir);
