#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/message_loop.h"

// What the Windows loop adds to the shared message loop tests: timers are owned by the loop's thread, so a
// switch from another thread travels as a message, and a failure in a tick must come out of Run() although
// it arose inside the system's message dispatch.
namespace vorel {
namespace {

using std::chrono::milliseconds;

TEST(WindowsMessageLoop, TimerSwitchedOnFromAnotherThreadTicksOnTheLoopThread) {
  MessageLoop loop;
  const auto loopThread = std::this_thread::get_id();
  std::atomic<bool> onLoopThread{false};
  Timer timer(
      loop, milliseconds(5),
      [&] {
        onLoopThread = std::this_thread::get_id() == loopThread;
        loop.Quit();
      },
      false);
  std::thread other([&] { timer.SetEnabled(true); });
  loop.Run();
  other.join();
  EXPECT_TRUE(onLoopThread);
  EXPECT_TRUE(timer.Enabled());
}

TEST(WindowsMessageLoop, FailureInATickLeavesRun) {
  MessageLoop loop;
  Timer timer(loop, milliseconds(1), [] { throw std::runtime_error("tick failed"); });
  EXPECT_THROW(loop.Run(), std::runtime_error);
}

TEST(WindowsMessageLoop, TimerDestroyedBeforeItsTickNeverTicks) {
  MessageLoop loop;
  int ticks = 0;
  {
    Timer doomed(loop, milliseconds(1), [&] { ++ticks; });
  }
  Timer quit(loop, milliseconds(50), [&] { loop.Quit(); });
  loop.Run();
  EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace vorel
