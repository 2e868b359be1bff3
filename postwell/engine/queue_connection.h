#pragma once
// The database queue's connection string: its attributes, the string the queue connects with, and
// the masking of every password in a text that may be shown or logged.

#include <string>
#include <utility>
#include <vector>

// The attributes of an ODBC connection string, in order: name and value. A value in braces may hold
// ";" and "}}" for "}"; names lose the blanks around them.
std::vector<std::pair<std::string, std::string>> connectionAttributes(
    const std::string& connection);

// The text with the password and every password attribute (PWD, Password) of the connection string
// replaced by "******", however the connection string spells them.
std::string maskSecrets(std::string text, const std::string& password,
                        const std::string& connection);

// The setting's time limit of a statement in seconds: a count of seconds, 0 for none; the default
// when the setting is missing or not a count.
unsigned long queryTimeoutOf(const std::string& setting);

// The connection string to use: the setting's, with the SQLite file beside the setting file when
// the setting names no database. Unless the setting names them itself, an SQLite connection waits
// for a lock at most the statement time limit, and a PostgreSQL connection notices a dead server.
std::string effectiveConnection(const std::string& connection, const std::string& settingFile,
                                unsigned long queryTimeout);
