#include <gtest/gtest.h>
#include <malloc.h>

#include "exchange/exchange_fixture.h"
#include "exchange/poll_cycle.h"

namespace vorel {
namespace {

// A long idle run: the portal answers every poll at once with nothing to do, and the memory the process holds
// must not grow with the number of polls (a few bytes kept per poll add up over the months a service runs).
// Measured as the allocator's bytes in use: resident memory hides small losses in the slack of earlier work.
TEST(IdleRun, MemoryInUseDoesNotGrowWithThePolls) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' allocators keep their own accounts (and find leaks themselves)";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "the sanitizers' allocators keep their own accounts (and find leaks themselves)";
#endif
#endif
  test::ExchangeHarness h;
  h.portal.keepRequests = false;
  h.logger.keepLines = false;
  constexpr long kWarmUp = 100, kPolls = 1500;
  for (long i = 0; i < kWarmUp; ++i) RunPollCycle(h.ctx());  // past the first exports into the idle rhythm
  const auto before = static_cast<long>(mallinfo2().uordblks);
  for (long i = 0; i < kPolls; ++i) RunPollCycle(h.ctx());
  const auto growth = static_cast<long>(mallinfo2().uordblks) - before;
  EXPECT_EQ(h.portal.requestCount, kWarmUp + kPolls);
  // A few kilobytes of the allocator's and the HTTP library's caches at most (up to about 9.5 KB seen, once,
  // in some runs), never a share of every poll: a loss of 16 bytes a poll already passes the bound.
  EXPECT_LT(growth, 24 * 1024) << growth / kPolls << " bytes per poll";
}

}  // namespace
}  // namespace vorel
