#pragma once
// Starts a thread in a source of its own: a thread started where the library's exported classes
// are declared makes the Windows DLL export the standard library's thread state type information.

#include <functional>
#include <thread>

namespace postwell {

std::thread startWorkerThread(std::function<void()> body);

}  // namespace postwell
