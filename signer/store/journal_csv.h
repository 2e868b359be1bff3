#pragma once

#include <string>
#include <vector>

#include "store/decision_journal.h"

// The decisions as CSV for a spreadsheet: UTF-8 with a byte-order mark, a heading line of the
// given texts, then one line per decision: time, decision (as named), sender, recipients, subject,
// reason, approver and task id. A field is quoted when it
// holds a comma, a quote, a line break or blanks at its ends; a field that a spreadsheet would take
// for a formula (=, +, -, @, tab) starts with an apostrophe.
std::string DecisionsCsv(const std::vector<std::string>& headings,
                         const std::vector<tagDecision>& decisions,
                         const std::string& approveWord, const std::string& returnWord);

// Writes the text to the path, complete or not at all. False when it cannot be written.
bool WriteExportFile(const std::string& path, const std::string& text);
