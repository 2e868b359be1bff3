#include "platform/local_channel.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "last_error_guard.h"
#include "platform/last_error.h"
#include "platform/whole_file.h"
#include "wide_text.h"

// The server is a message-only window on a thread of its own. A copy-data message holds its sender
// until the window procedure returns, so the procedure hands the message to serve() and waits for
// the answer; a server that nobody serves leaves its senders to their timeouts.

namespace platform {

namespace {

constexpr const char* kWindowClass = "MailSignoffLocalChannel";
// Marks a copy-data block as a channel message, so that a monitor that gets other copy-data
// messages can tell them apart.
constexpr ULONG_PTR kChannelMessage = 0x4D534F43;  // "MSOC"

// The handle written as text: "0x" and hex digits, or decimal digits.
std::optional<HWND> parseHandle(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.remove_suffix(1);
  if (text.empty() || text.size() > 20) return std::nullopt;
  const std::string digits(text);
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits.c_str(), &end, 0);
  if (end == nullptr || *end != '\0' || value == 0) return std::nullopt;
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
}

// The window a path names: the path itself as a handle, else the handle held in the file.
std::optional<HWND> windowOf(const std::string& serverPath) {
  if (std::optional<HWND> direct = parseHandle(serverPath)) return direct;
  std::string contents;
  if (!readWholeFile(serverPath, contents)) return std::nullopt;
  return parseHandle(contents);
}

bool isChannelWindow(HWND window) {
  char name[64] = "";
  return ::IsWindow(window) && ::GetClassNameA(window, name, sizeof name) > 0 &&
         std::string_view(name) == kWindowClass;
}

}  // namespace

struct ChannelWindow {
  HWND window = nullptr;
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<std::string> pending;  // the message the window procedure holds
  std::optional<std::int32_t> answer;
  bool closing = false;

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ChannelWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && self != nullptr)
      return self->receive(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    if (message == WM_DESTROY) {
      ::PostQuitMessage(0);
      return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
  }

  LRESULT receive(const COPYDATASTRUCT& data) {
    if (data.cbData == 0 || data.cbData > LocalChannelServer::kMaxMessage || data.lpData == nullptr)
      return 0;
    std::unique_lock lock(mutex);
    pending.emplace(static_cast<const char*>(data.lpData), data.cbData);
    answer.reset();
    changed.notify_all();
    changed.wait(lock, [this] { return answer.has_value() || closing; });
    pending.reset();
    const std::int32_t result = answer.value_or(0);
    answer.reset();
    return result;
  }
};

namespace {

bool registerWindowClass() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &ChannelWindow::procedure;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return ::RegisterClassA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

bool localChannelCall(const std::string& serverPath, const void* message, std::size_t length,
                      std::int32_t& answer, unsigned long timeoutMs) {
  const LastErrorGuard guard;
  if (length == 0 || length > 0xffffffffULL || serverPath.empty() ||
      serverPath.find('\0') != std::string::npos) {
    setLastError(err::kWsaInvalidArgument);
    return false;
  }
  const std::optional<HWND> window = windowOf(serverPath);
  if (!window || !::IsWindow(*window)) {
    setLastError(err::kWsaConnectionRefused);
    return false;
  }
  COPYDATASTRUCT data{};
  data.dwData = kChannelMessage;
  data.cbData = static_cast<DWORD>(length);
  data.lpData = const_cast<void*>(message);
  DWORD_PTR result = 0;
  const UINT timeout = timeoutMs > 0x7fffffffUL ? 0x7fffffffU : static_cast<UINT>(timeoutMs);
  if (::SendMessageTimeoutA(*window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                            SMTO_BLOCK | SMTO_ABORTIFHUNG, timeout, &result) == 0) {
    const DWORD error = ::GetLastError();
    setLastError(error == ERROR_TIMEOUT || error == ERROR_SUCCESS ? err::kWsaTimedOut
                                                                  : err::kWsaConnectionReset);
    return false;
  }
  answer = static_cast<std::int32_t>(result);
  return guard.succeeded(true);
}

LocalChannelServer::~LocalChannelServer() { close(); }

bool LocalChannelServer::listen(const std::string& path) {
  close();
  const LastErrorGuard guard;
  if (path.empty() || path.find('\0') != std::string::npos || !registerWindowClass()) {
    setLastError(err::kWsaInvalidArgument);
    return false;
  }
  // A file naming a live channel window belongs to a running server; a file whose window is gone
  // was left by one that died and is replaced; anything else there is not ours to replace.
  std::string contents;
  if (readWholeFile(path, contents)) {
    const std::optional<HWND> previous = parseHandle(contents);
    if (!previous || isChannelWindow(*previous)) {
      setLastError(err::kWsaAddressInUse);
      return false;
    }
  }
  auto* server = new ChannelWindow;
  std::mutex started;
  std::condition_variable ready;
  bool done = false;
  server->thread = std::thread([server, &started, &ready, &done] {
    HWND window = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    if (window) ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(server));
    {
      std::lock_guard lock(started);
      server->window = window;
      done = true;
    }
    ready.notify_all();
    if (!window) return;
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  });
  {
    std::unique_lock lock(started);
    ready.wait(lock, [&done] { return done; });
  }
  window_ = server;
  if (server->window == nullptr ||
      !replaceWholeFile(path, std::to_string(reinterpret_cast<std::uintptr_t>(server->window)))) {
    const DWORD error = server->window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ::GetLastError();
    close();
    setLastError(error);
    return false;
  }
  path_ = path;
  return guard.succeeded(true);
}

bool LocalChannelServer::serve(unsigned long timeoutMs, const Handler& handler) {
  auto* server = static_cast<ChannelWindow*>(window_);
  if (server == nullptr) {
    setLastError(err::kWsaNotSocket);
    return false;
  }
  std::unique_lock lock(server->mutex);
  const auto waiting = [server] { return (server->pending && !server->answer) || server->closing; };
  if (!server->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), waiting)) return true;
  if (server->closing) return false;
  const std::string message = *server->pending;
  lock.unlock();
  const std::int32_t answer = handler(message);
  lock.lock();
  server->answer = answer;
  server->changed.notify_all();
  return true;
}

void LocalChannelServer::acceptClients() {}

bool LocalChannelServer::answerMessages(int, const Handler&) { return false; }

void LocalChannelServer::close() {
  auto* server = static_cast<ChannelWindow*>(window_);
  if (server == nullptr) return;
  {
    std::lock_guard lock(server->mutex);
    server->closing = true;
  }
  server->changed.notify_all();
  if (server->window) ::PostMessageA(server->window, WM_CLOSE, 0, 0);
  if (server->thread.joinable()) server->thread.join();
  delete server;
  window_ = nullptr;
  std::wstring wide;
  if (!path_.empty() && toWide(path_, wide)) ::DeleteFileW(wide.c_str());
  path_.clear();
}

}  // namespace platform
