#include "service/message_loop.h"

#include <algorithm>

namespace vorel {

void MessageLoop::Run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    Timer* next = nullptr;
    for (Timer* t : timers_) {
      if (t->enabled_ && (next == nullptr || t->due_ < next->due_)) next = t;
    }
    if (next == nullptr) {
      wake_.wait(lock);
      continue;
    }
    if (std::chrono::steady_clock::now() < next->due_) {
      wake_.wait_until(lock, next->due_);
      continue;  // woken early, or the timers changed: look again
    }
    // The next tick is counted from the end of this one, as a message-loop timer does.
    next->due_ = SteadyTime::max();
    lock.unlock();
    next->onTimer_();
    lock.lock();
    if (next->due_ == SteadyTime::max()) next->due_ = std::chrono::steady_clock::now() + next->interval_;
  }
}

void MessageLoop::Quit() {
  std::lock_guard lock(mutex_);
  quit_ = true;
  wake_.notify_all();
}

Timer::Timer(MessageLoop& loop, std::chrono::milliseconds interval, std::function<void()> onTimer,
             bool enabled)
    : loop_(loop),
      onTimer_(std::move(onTimer)),
      interval_(interval),
      enabled_(enabled),
      due_(std::chrono::steady_clock::now() + interval) {
  std::lock_guard lock(loop_.mutex_);
  loop_.timers_.push_back(this);
  loop_.wake_.notify_all();
}

Timer::~Timer() {
  std::lock_guard lock(loop_.mutex_);
  std::erase(loop_.timers_, this);
}

void Timer::SetEnabled(bool enabled) {
  std::lock_guard lock(loop_.mutex_);
  if (enabled && !enabled_) due_ = std::chrono::steady_clock::now() + interval_;
  enabled_ = enabled;
  loop_.wake_.notify_all();
}

bool Timer::Enabled() const {
  std::lock_guard lock(loop_.mutex_);
  return enabled_;
}

std::chrono::milliseconds Timer::Interval() const {
  return interval_;
}

}  // namespace vorel
