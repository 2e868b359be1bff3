#include "engine/worker_thread.h"

namespace postwell {

std::thread startWorkerThread(std::function<void()> body) { return std::thread(std::move(body)); }

}  // namespace postwell
