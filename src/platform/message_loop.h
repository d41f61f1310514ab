#pragma once

#include <chrono>
#include <functional>
#include <memory>

// The main thread's message loop and its timers: a timer's tick handler runs on the thread that runs the
// loop, one tick at a time, so a long handler holds up every later tick and the quit request. The next tick
// of a timer comes one interval after its handler has returned. POSIX: a condition variable loop; Windows:
// the thread's message queue, with WM_TIMER from SetTimer on a message-only window.
namespace vorel {

class Timer;

class MessageLoop {
 public:
  // On Windows the loop belongs to the creating thread: create it on the thread that will run it.
  MessageLoop();
  ~MessageLoop();
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // Runs the ticks of the loop's timers on the calling thread until Quit(); a tick in progress ends first.
  // Returns at once when Quit() came before.
  void Run();
  // Asks Run() to return; safe from any thread.
  void Quit();

  struct Impl;  // the platform's loop

 private:
  friend class Timer;
  std::unique_ptr<Impl> impl_;
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
  // Safe from any thread.
  void SetEnabled(bool enabled);
  bool Enabled() const;
  std::chrono::milliseconds Interval() const { return interval_; }

  // Runs the tick handler; called by the loop only.
  void Tick() { onTimer_(); }

 private:
  MessageLoop::Impl& loop_;
  std::function<void()> onTimer_;
  std::chrono::milliseconds interval_;
};

}  // namespace vorel
