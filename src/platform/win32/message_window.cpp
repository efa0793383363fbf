#include "platform/win32/message_window.h"

#include "platform/win32/win32_clock.h"
#include "platform/win32/windows_support.h"

namespace artnet::win32 {
namespace {

constexpr wchar_t kClassName[] = L"ArtNetPlatformWindow";

// The window of this thread whose sockets step aside: the loop's hook has
// no other way to find it.
thread_local MessageWindow* t_steppingAside = nullptr;

bool g_refuseHooks = false;

// A plain function, not a lambda: the i686 callback must be stdcall. Nothing
// may escape it, since an exception leaving a window procedure ends the
// process there.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == kTimerMessage || message == kSocketMessage || message == kResumeMessage) {
      auto* const routed = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (routed != nullptr) routed->Route(message, wParam, lParam);
      return 0;
    }
  } catch (...) {
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK LoopTookMessage(int code, WPARAM removed, LPARAM message) {
  if (code == HC_ACTION && t_steppingAside != nullptr) {
    t_steppingAside->OnLoopTook(reinterpret_cast<const MSG*>(message)->message, removed == PM_REMOVE);
  }
  return CallNextHookEx(nullptr, code, removed, message);
}

}  // namespace

// One step aside of the thread's sockets: the hook that watches the loop,
// the fallback timer and the sockets to resume, released when it ends
// however it ends.
class StepAside {
 public:
  StepAside(void* window, std::uintptr_t timerId)
      : hook_(g_refuseHooks ? nullptr
                            : SetWindowsHookExW(WH_GETMESSAGE, &LoopTookMessage, nullptr, GetCurrentThreadId())),
        // Also a message of the kind the hook waits for, in case nothing else comes.
        fallback_(hook_ ? WindowTimer(window, timerId, USER_TIMER_MINIMUM) : WindowTimer()) {}
  // False when the system refused the hook: nothing would end the wait.
  bool Watching() const { return static_cast<bool>(hook_); }
  bool IsFallback(std::uintptr_t timerId) const { return fallback_ && timerId == fallback_.id(); }

  const double started = MonotonicSeconds();
  std::vector<std::uintptr_t> keys;  // the sockets to resume

 private:
  WindowsHook hook_;
  WindowTimer fallback_;
};

WindowTimer::WindowTimer(void* window, std::uintptr_t id, unsigned milliseconds) {
  // No window would make a thread timer, posted to the host's own loop.
  if (window == nullptr) return;
  if (SetTimer(static_cast<HWND>(window), id, milliseconds, nullptr) == 0) return;
  window_ = window;
  id_ = id;
}

WindowTimer& WindowTimer::operator=(WindowTimer&& other) noexcept {
  if (this != &other) {
    Reset();
    window_ = std::exchange(other.window_, nullptr);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void WindowTimer::Reset() {
  if (id_ != 0) KillTimer(static_cast<HWND>(window_), id_);
  id_ = 0;
}

MessageWindow::MessageWindow() = default;

MessageWindow::~MessageWindow() {
  if (t_steppingAside == this) t_steppingAside = nullptr;
  stepAside_.reset();  // gone already after End(), or with its ended thread
  // Only its own thread may destroy the window; an ended thread's went with
  // it, and its handle may name another window by now.
  const HWND window = static_cast<HWND>(window_);
  if (window != nullptr && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId() &&
      GetWindowLongPtrW(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
}

void* MessageWindow::Handle() {
  if (window_ != nullptr || ended_) return window_;
  const HINSTANCE instance = OwnModule();
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClassName;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  const HWND window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  window_ = window;
  return window_;
}

void MessageWindow::End() {
  ended_ = true;
  if (t_steppingAside == this) t_steppingAside = nullptr;
  stepAside_.reset();
  if (window_ == nullptr) return;
  const HWND window = static_cast<HWND>(std::exchange(window_, nullptr));
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);  // its queued messages find nobody
  DestroyWindow(window);
}

void MessageWindow::RefuseHooks(bool refuse) { g_refuseHooks = refuse; }

void MessageWindow::Attach(unsigned message, std::uintptr_t key, WindowClient* client) {
  clients_[{message, key}] = client;
}

void MessageWindow::Detach(unsigned message, std::uintptr_t key) { clients_.erase({message, key}); }

bool MessageWindow::PostResume(std::uintptr_t key) {
  // No window would make it a thread message to the host's own loop.
  if (window_ == nullptr) return false;
  return PostMessageW(static_cast<HWND>(window_), kResumeMessage, key, 0) != 0;
}

void MessageWindow::Route(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  // First, so released last: this object may go with its owner, after which
  // nothing here is touched.
  const std::shared_ptr<const void> owner = owner_.lock();
  if (message == kTimerMessage && stepAside_ && stepAside_->IsFallback(wParam)) {
    EndYield();  // should the hook not have seen it
    return;
  }
  if (message != kTimerMessage) RunStarvedTimers();
  const auto found = clients_.find({message, wParam});
  if (found == clients_.end()) return;
  // The client may detach or destroy itself inside; nothing here touches it afterwards.
  found->second->OnWindowMessage(message, wParam, lParam);
}

void MessageWindow::RunStarvedTimers() {
  const double now = MonotonicSeconds();
  if (now - lastBusyCheck_ < kBusyCheckSeconds) return;
  lastBusyCheck_ = now;
  // Keys first: a timer's handler may attach or detach clients.
  std::vector<std::uintptr_t> timers;
  for (const auto& [route, client] : clients_) {
    if (route.first == kTimerMessage) timers.push_back(route.second);
  }
  for (const std::uintptr_t key : timers) {
    const auto found = clients_.find({kTimerMessage, key});
    if (found != clients_.end()) found->second->OnQueueBusy(now);
  }
}

bool MessageWindow::OthersStarved() {
  if (stepAside_) return true;  // another socket of this thread stepped aside: this one joins it
  const double now = MonotonicSeconds();
  if (now - lastYield_ < kYieldAfterSeconds || now - lastStarvedCheck_ < kBusyCheckSeconds) return false;
  lastStarvedCheck_ = now;
  return HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_TIMER)) != 0;
}

void MessageWindow::YieldTo(std::uintptr_t key) {
  if (!stepAside_) {
    auto stepAside = std::make_unique<StepAside>(window_, NewKey());
    if (!stepAside->Watching()) {
      PostResume(key);
      return;
    }
    stepAside_ = std::move(stepAside);
    t_steppingAside = this;
  }
  stepAside_->keys.push_back(key);
}

// A message of these kinds is made only for a queue without posted
// messages: the host has had its turn, and reading may go on. A host that
// always keeps a message of its own posted (idle work it re-posts to itself)
// never gets one made, nor the fallback timer: the messages its loop takes
// or peeks at meanwhile bound the wait instead.
void MessageWindow::OnLoopTook(unsigned message, bool removed) {
  if (!stepAside_) return;
  const bool hostsTurn = message == WM_TIMER || message == WM_PAINT ||
                         (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
                         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
  if ((removed && hostsTurn) || MonotonicSeconds() - stepAside_->started >= kLongestYieldSeconds) EndYield();
}

void MessageWindow::EndYield() {
  const std::unique_ptr<StepAside> ended = std::move(stepAside_);  // unhooked and its timer killed on return
  if (t_steppingAside == this) t_steppingAside = nullptr;
  lastYield_ = MonotonicSeconds();
  for (const std::uintptr_t key : ended->keys) PostResume(key);
}

}  // namespace artnet::win32
