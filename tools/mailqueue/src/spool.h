#pragma once
// The spool directory: one file per queued message, in transfer form, written so that a crash
// leaves either the whole file or none.

#include <string>
#include <vector>

namespace mailqueue {

// The message with CR LF line ends (a lone CR or LF ends a line too) and every line that begins
// with a dot given a second dot, as it goes out between DATA and the end mark.
std::string toTransferForm(const std::string& text);

// Writes the file under a temporary name, syncs it and renames it; false with the reason.
bool writeFileSafely(const std::string& path, const std::string& content, std::string& why);

// False with the reason when the file cannot be read.
bool readWholeFile(const std::string& path, std::string& content, std::string& why);

// Stores the message in the spool directory (made when missing) once for each of copies missions:
// one file and a link to it for every further mission, so that each mission removes its own name
// when it is done. The paths, in order; false with the reason (nothing is left behind then).
bool storeInSpool(const std::string& spool, const std::string& message, std::size_t copies,
                  std::vector<std::string>& paths, std::string& why);

// Removes a mission's file; nothing when it is gone already.
void removeFromSpool(const std::string& path);

}  // namespace mailqueue
