#pragma once
// How the client works day to day, in Signer.ini: [Tasks] OldAfterHours (a task that waited longer
// stands out; default 24, 0 turns it off) and ConfirmOver (a decision over more tasks asks first;
// default 10, 0 never asks), [Notify] Enable (a desktop notice when held mail arrives; default 1),
// and [Return] Reason1 … Reason5, the last reasons given, newest first.

#include <string>
#include <vector>

struct tagClientSettings {
  int oldAfterHours = 24;
  int confirmOver = 10;
  bool notify = true;
};

tagClientSettings ReadClientSettings();

inline constexpr int kLastReasonCount = 5;
// The last reasons given, newest first, none empty.
std::vector<std::string> ReadLastReasons();
// Puts the reason first among the last ones (once), with line breaks and tabs made blanks, without
// blanks at its ends and cut to 511 bytes at a character's start. A blank reason changes nothing.
void RememberReason(const std::string& reason);
