#pragma once

#include <QString>
#include <string>

// A decision as the lists show it: the journal's word stays as written; the lists show it in the
// user's language.
QString DecisionWord(const std::string& decision);
