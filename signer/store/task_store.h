#pragma once
// The task store in the current directory. "./HOME_<user>" holds each downloaded sign-off task as
// "<id>.eml" (the message as downloaded) and "<id>.inf" (its header summary), and the task counter
// "HiWater.mrk"; its folder "Queue" holds the approved and returned tasks waiting to be sent, in
// the same two files. Task ids are "QV" and the counter, padded with zeros to nine digits.

#include <cstddef>
#include <string>
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
};

// "./HOME_<user>" and "./HOME_<user>/Queue", created when missing (a failure to create them is
// noticed when their files are used).
std::string HomeDirectory(const std::string& user);
std::string QueueDirectory(const std::string& user);
// "<dir>/<id>.eml" and "<dir>/<id>.inf".
std::string TaskMessagePath(const std::string& dir, const std::string& id);
std::string TaskHeadPath(const std::string& dir, const std::string& id);

// "QV" and the counter's text, padded with zeros to at least nine characters.
std::string FormatTaskId(const std::string& counter);
// Advances the home directory's task counter and returns the new task id. An id whose files already
// exist in the home or the queue directory (the counter file was lost) is passed over for the next
// one. Empty when the counter cannot be kept.
std::string DrawTaskId(const std::string& home);

// The mail server's name for a held message, from the value of its first "Received" field: the text
// from "with ESMTP id" up to the first ".msg" after it. Empty when either is missing.
std::string WaterIdFromReceived(const std::string& received);

// Writes [Head] with the keys in the order of tagTaskHead. False when the file cannot be written.
bool WriteTaskHead(const std::string& path, const tagTaskHead& head);
// The longest [Head] value the approval and sending read from a queued task.
inline constexpr std::size_t kQueuedHeadValueMax = 1023;

// Reads [Head]; missing keys are empty, each value cut to at most maxLength bytes (never inside a
// UTF-8 character).
tagTaskHead ReadTaskHead(const std::string& path, std::size_t maxLength);

// The ids of the tasks ("*.eml") in the directory, in the order they were drawn.
std::vector<std::string> StoredTaskIds(const std::string& dir);
