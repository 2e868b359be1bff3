#pragma once
// Rewriting a task's message for the send queue: the mail server's trace fields go, the marker
// lines that let the mail server pass the message come in at the end of the header, and a returned
// message gets the return prefix in its subject and its envelope turned back to the sender.

#include <cstddef>
#include <string>

#include "store/task_store.h"

// What the supervisor decided; the numbers are the action codes of the rewriting.
enum TaskAction { kTaskApprove = 20010, kTaskReturn = 20011 };

inline constexpr char kReturnPrefix[] = "审核退回:";

// Where the "\r\n\r\n" that ends the header starts: the first one, or the next one from position 4
// when the text begins with it. npos when there is none.
std::size_t FindHeaderEnd(const std::string& text);

// Removes the header fields Received, X-mailer, X-MDRemoteIP and X-MDaemon-Deliver-To (in any case)
// with their continuation lines. Returns where the header's lines now end: the marker lines go
// there.
std::size_t StripTraceFields(std::string& text, std::size_t headerEnd);

// "X-Sign: vandry!", the X-Sign-Stat line of the action with the user name and, when there is a
// reason, the X-Sign-Message line with it (as UTF-8 encoded words unless it is plain ASCII); each
// line break and NUL in the user name and the reason made a blank.
std::string MarkerLines(TaskAction action, const std::string& user, const std::string& reason);

// Puts the return prefix in front of the subject as readers show it (its encoded words decoded) and
// writes the Subject field again, as UTF-8 encoded words.
void PrefixSubject(std::string& text);

// The whole rewriting of the message text: trace fields and any marker fields the message arrived
// with go, the marker lines come in. False when the header is not followed by an empty line.
bool RewriteTaskMessage(std::string& text, TaskAction action, const std::string& user,
                        const std::string& reason);

// A returned task goes from the user at the sender's domain to the sender only; a user name that is
// a full address is the sender itself. A head without a sender stays as it is.
void TurnBackToSender(tagTaskHead& head, const std::string& user);
