#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// The main thread's message loop and its timers: a timer's tick handler runs on the thread that runs the
// loop, one tick at a time, so a long handler holds up every later tick and the quit request.
namespace vorel {

class Timer;

class MessageLoop {
 public:
  // Runs the ticks of the loop's timers on the calling thread until Quit(); a tick in progress ends first.
  // Returns at once when Quit() came before.
  void Run();
  // Asks Run() to return; safe from any thread.
  void Quit();

 private:
  friend class Timer;
  using SteadyTime = std::chrono::steady_clock::time_point;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::vector<Timer*> timers_;
};

class Timer {
 public:
  // The first tick comes one interval after creation (or after being switched on).
  Timer(MessageLoop& loop, std::chrono::milliseconds interval, std::function<void()> onTimer,
        bool enabled = true);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Switching the timer on starts a full interval; switching it off drops a tick not yet delivered.
  void SetEnabled(bool enabled);
  bool Enabled() const;
  std::chrono::milliseconds Interval() const;

 private:
  friend class MessageLoop;

  MessageLoop& loop_;
  std::function<void()> onTimer_;
  std::chrono::milliseconds interval_;
  bool enabled_;                 // guarded by the loop's mutex
  MessageLoop::SteadyTime due_;  // guarded by the loop's mutex
};

}  // namespace vorel
