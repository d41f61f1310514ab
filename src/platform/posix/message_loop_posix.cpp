#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/message_loop.h"

// The POSIX loop: the thread that runs it sleeps on a condition variable until the earliest enabled timer
// is due or the timers change.
namespace vorel {

struct MessageLoop::Impl {
  using SteadyTime = std::chrono::steady_clock::time_point;
  struct Entry {
    Timer* timer;
    std::chrono::milliseconds interval;
    bool enabled;
    SteadyTime due;
  };

  Entry* Find(const Timer* timer) {
    for (Entry& e : entries)
      if (e.timer == timer) return &e;
    return nullptr;
  }

  std::mutex mutex;
  std::condition_variable wake;
  bool quit = false;
  std::vector<Entry> entries;
};

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>()) {}
MessageLoop::~MessageLoop() = default;

void MessageLoop::Run() {
  Impl& s = *impl_;
  std::unique_lock lock(s.mutex);
  while (!s.quit) {
    Impl::Entry* next = nullptr;
    for (Impl::Entry& e : s.entries) {
      if (e.enabled && (next == nullptr || e.due < next->due)) next = &e;
    }
    if (next == nullptr) {
      s.wake.wait(lock);
      continue;
    }
    if (std::chrono::steady_clock::now() < next->due) {
      s.wake.wait_until(lock, next->due);
      continue;  // woken early, or the timers changed: look again
    }
    // The next tick is counted from the end of this one, as a message-loop timer does.
    Timer* timer = next->timer;
    next->due = Impl::SteadyTime::max();
    lock.unlock();
    timer->Tick();
    lock.lock();
    Impl::Entry* after = s.Find(timer);  // the entries may have moved while unlocked
    if (after != nullptr && after->due == Impl::SteadyTime::max())
      after->due = std::chrono::steady_clock::now() + after->interval;
  }
}

void MessageLoop::Quit() {
  std::lock_guard lock(impl_->mutex);
  impl_->quit = true;
  impl_->wake.notify_all();
}

Timer::Timer(MessageLoop& loop, std::chrono::milliseconds interval, std::function<void()> onTimer,
             bool enabled)
    : loop_(*loop.impl_), onTimer_(std::move(onTimer)), interval_(interval) {
  std::lock_guard lock(loop_.mutex);
  loop_.entries.push_back({this, interval, enabled, std::chrono::steady_clock::now() + interval});
  loop_.wake.notify_all();
}

Timer::~Timer() {
  std::lock_guard lock(loop_.mutex);
  std::erase_if(loop_.entries, [this](const MessageLoop::Impl::Entry& e) { return e.timer == this; });
}

void Timer::SetEnabled(bool enabled) {
  std::lock_guard lock(loop_.mutex);
  MessageLoop::Impl::Entry* e = loop_.Find(this);
  if (enabled && !e->enabled) e->due = std::chrono::steady_clock::now() + interval_;
  e->enabled = enabled;
  loop_.wake.notify_all();
}

bool Timer::Enabled() const {
  std::lock_guard lock(loop_.mutex);
  return loop_.Find(this)->enabled;
}

}  // namespace vorel
