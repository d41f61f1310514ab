#include "service/message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vorel {
namespace {

using std::chrono::milliseconds;

TEST(MessageLoop, TicksOnTheLoopThreadUntilQuit) {
  MessageLoop loop;
  const auto loopThread = std::this_thread::get_id();
  int ticks = 0;
  bool onLoopThread = true;
  Timer timer(loop, milliseconds(5), [&] {
    onLoopThread = onLoopThread && std::this_thread::get_id() == loopThread;
    if (++ticks == 3) loop.Quit();
  });
  loop.Run();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(onLoopThread);
}

TEST(MessageLoop, SwitchedOffTimerStaysSilentUntilSwitchedOn) {
  MessageLoop loop;
  int slow = 0, fast = 0;
  Timer slowTimer(
      loop, milliseconds(1), [&] { ++slow; }, false);
  Timer fastTimer(loop, milliseconds(2), [&] {
    if (++fast == 5) slowTimer.SetEnabled(true);
    if (slow > 0) loop.Quit();
  });
  loop.Run();
  EXPECT_EQ(slow, 1);
  EXPECT_GE(fast, 6);
}

TEST(MessageLoop, QuitFromAnotherThreadWaitsForTheTickInProgress) {
  MessageLoop loop;
  std::atomic<bool> inTick{false}, tickEnded{false};
  Timer timer(loop, milliseconds(1), [&] {
    timer.SetEnabled(false);  // as Timer1Timer does before it enters a long loop
    inTick = true;
    std::this_thread::sleep_for(milliseconds(50));
    tickEnded = true;
  });
  std::thread other([&] {
    while (!inTick) std::this_thread::sleep_for(milliseconds(1));
    loop.Quit();
  });
  loop.Run();
  other.join();
  EXPECT_TRUE(tickEnded);
  EXPECT_FALSE(timer.Enabled());
}

TEST(MessageLoop, QuitBeforeRunReturnsAtOnce) {
  MessageLoop loop;
  int ticks = 0;
  Timer timer(loop, milliseconds(0), [&] { ++ticks; });
  loop.Quit();
  loop.Run();
  EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace vorel
