#include <windows.h>

#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <utility>

#include "platform/error.h"
#include "platform/message_loop.h"
#include "platform/windows/system_text.h"

// The Windows loop: the creating thread's message queue. Each timer is a one-shot SetTimer on a message-only
// window owned by that thread, armed again when its tick handler has returned, so that the next tick comes
// one interval after the end of the last one. Switching a timer from another thread posts a request to the
// window, since only the owner thread may set its timers.
namespace vorel {
namespace {

constexpr UINT kArmRequest = WM_APP + 1;  // wParam: timer id
constexpr const char* kWindowClass = "VorelMessageLoop";

LRESULT CALLBACK LoopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterLoopWindowClass() {
  WNDCLASSEXA cls{};
  cls.cbSize = sizeof(cls);
  cls.lpfnWndProc = LoopWindowProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.lpszClassName = kWindowClass;
  if (RegisterClassExA(&cls) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw Error("Cannot register the message loop's window class: " +
                windows::SystemErrorText(GetLastError()));
  }
}

}  // namespace

struct MessageLoop::Impl {
  struct Entry {
    Timer* timer;
    UINT interval;
    bool enabled;
    bool armed;
  };

  Impl() : owner(GetCurrentThreadId()) {
    RegisterLoopWindowClass();
    window = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
      throw Error("Cannot create the message loop's window: " + windows::SystemErrorText(GetLastError()));
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Impl() { DestroyWindow(window); }

  bool OnOwnerThread() const { return GetCurrentThreadId() == owner; }

  // Owner thread, under the mutex: starts a full interval for an enabled timer.
  void Arm(UINT_PTR id, Entry& e) { e.armed = SetTimer(window, id, e.interval, nullptr) != 0; }

  // Any thread, under the mutex.
  void RequestArm(UINT_PTR id, Entry& e) {
    if (OnOwnerThread()) {
      Arm(id, e);
    } else {
      PostMessageA(window, kArmRequest, id, 0);
    }
  }

  Entry* Find(UINT_PTR id) {
    auto it = entries.find(id);
    return it == entries.end() ? nullptr : &it->second;
  }

  UINT_PTR IdOf(const Timer* timer) const {
    for (const auto& [id, e] : entries)
      if (e.timer == timer) return id;
    return 0;
  }

  void OnTimer(UINT_PTR id) {
    Timer* timer = nullptr;
    {
      std::lock_guard lock(mutex);
      KillTimer(window, id);
      Entry* e = Find(id);
      if (e == nullptr || !e->enabled || !e->armed) return;  // switched off meanwhile: the tick is dropped
      e->armed = false;
      timer = e->timer;
    }
    try {
      timer->Tick();
    } catch (...) {
      // Exceptions do not cross the system's dispatch code; Run() rethrows it.
      failure = std::current_exception();
    }
    std::lock_guard lock(mutex);
    Entry* e = Find(id);
    if (e != nullptr && e->enabled && !e->armed) Arm(id, *e);
  }

  void OnArmRequest(UINT_PTR id) {
    std::lock_guard lock(mutex);
    Entry* e = Find(id);
    if (e != nullptr && e->enabled) Arm(id, *e);
  }

  DWORD owner;
  HWND window = nullptr;
  std::mutex mutex;
  std::map<UINT_PTR, Entry> entries;
  UINT_PTR nextId = 1;
  std::atomic<bool> quit{false};
  std::exception_ptr failure;
};

namespace {

LRESULT CALLBACK LoopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* loop = reinterpret_cast<MessageLoop::Impl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (loop != nullptr) {
    if (message == WM_TIMER) {
      loop->OnTimer(wParam);
      return 0;
    }
    if (message == kArmRequest) {
      loop->OnArmRequest(wParam);
      return 0;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>()) {}
MessageLoop::~MessageLoop() = default;

void MessageLoop::Run() {
  MSG message;
  while (!impl_->quit) {
    if (GetMessageA(&message, nullptr, 0, 0) <= 0) break;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (impl_->failure) std::rethrow_exception(std::exchange(impl_->failure, nullptr));
  }
}

void MessageLoop::Quit() {
  impl_->quit = true;
  PostMessageA(impl_->window, WM_NULL, 0, 0);  // wakes GetMessage
}

Timer::Timer(MessageLoop& loop, std::chrono::milliseconds interval, std::function<void()> onTimer,
             bool enabled)
    : loop_(*loop.impl_), onTimer_(std::move(onTimer)), interval_(interval) {
  std::lock_guard lock(loop_.mutex);
  const UINT_PTR id = loop_.nextId++;
  auto& e = loop_.entries[id] = {this, static_cast<UINT>(interval.count()), enabled, false};
  if (enabled) loop_.RequestArm(id, e);
}

Timer::~Timer() {
  std::lock_guard lock(loop_.mutex);
  const UINT_PTR id = loop_.IdOf(this);
  if (loop_.OnOwnerThread()) KillTimer(loop_.window, id);
  loop_.entries.erase(id);
}

void Timer::SetEnabled(bool enabled) {
  std::lock_guard lock(loop_.mutex);
  const UINT_PTR id = loop_.IdOf(this);
  MessageLoop::Impl::Entry& e = loop_.entries.at(id);
  if (enabled && !e.enabled) {
    e.enabled = true;
    loop_.RequestArm(id, e);
  } else if (!enabled) {
    e.enabled = false;
    e.armed = false;
    if (loop_.OnOwnerThread()) KillTimer(loop_.window, id);
  }
}

bool Timer::Enabled() const {
  std::lock_guard lock(loop_.mutex);
  return loop_.entries.at(loop_.IdOf(this)).enabled;
}

}  // namespace vorel
