#pragma once

#include <atomic>

class CSignerApp;

// Sends every queue row not yet sent through the account's SMTP server, on one connection made
// whether or not a row waits: a sent task's files are deleted and its row reads "完成", a task that
// fails reads "重发" and is tried again on the next run. A failed connection goes to the title.
// Stops before the next row once stopping is set. Runs on the periodic driver's thread.
void SendQueue(CSignerApp& app, const std::atomic<bool>& stopping);
