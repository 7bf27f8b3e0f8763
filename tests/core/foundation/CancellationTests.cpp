#include "AsyncProbe.h"
#include "VirtualDelayScheduler.h"
#include "foundation/Cancellation.h"
#include "foundation/DelayScheduler.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace brindlewick;

TEST(CancellationTest, CallbacksRunOnceInOrderAndUnregisteredOnesNever) {
  CancellationSource source;
  std::vector<int> calls;
  CancellationRegistration dropped;
  CancellationRegistration unregisteredByAnEarlierCallback;
  auto first = source.token().onCancel([&] {
    calls.push_back(1);
    unregisteredByAnEarlierCallback.reset();
  });
  dropped = source.token().onCancel([&] { calls.push_back(2); });
  unregisteredByAnEarlierCallback = source.token().onCancel([&] { calls.push_back(3); });
  auto last = source.token().onCancel([&] { calls.push_back(4); });
  dropped.reset();
  source.cancel();
  source.cancel();
  EXPECT_EQ(calls, (std::vector<int>{1, 4}));
  EXPECT_THROW(source.token().throwIfCancelled(), CancelledError);

  // Registering on a cancelled token runs the callback at once; a default token never cancels.
  auto late = source.token().onCancel([&] { calls.push_back(5); });
  EXPECT_EQ(calls.back(), 5);
  auto never = CancellationToken().onCancel([&] { calls.push_back(6); });
  EXPECT_FALSE(CancellationToken().isCancelled());
  EXPECT_EQ(calls.back(), 5);
}

TEST(CancellationTest, ParentCancelsChildButNotTheOtherWayRound) {
  CancellationSource parent;
  CancellationSource child(parent.token());
  CancellationSource grandchild(child.token());
  CancellationSource sibling(parent.token());
  { CancellationSource gone(parent.token()); } // a child that is gone costs its parent nothing

  sibling.cancel();
  EXPECT_FALSE(parent.isCancelled());
  EXPECT_FALSE(child.isCancelled());

  parent.cancel();
  EXPECT_TRUE(child.isCancelled());
  EXPECT_TRUE(grandchild.token().isCancelled());
  EXPECT_TRUE(CancellationSource(parent.token()).isCancelled());
}

TEST(DelayTest, ResumesOnlyWhenVirtualTimeReachesTheDeadline) {
  VirtualDelayScheduler scheduler;
  auto outcome = startTask(delay(scheduler, 10.0, {}));
  scheduler.advance(9.999);
  EXPECT_FALSE(outcome->finished);
  scheduler.advance(0.001);
  ASSERT_TRUE(outcome->finished);
  EXPECT_NO_THROW(outcome->get());
  EXPECT_EQ(scheduler.pendingCount(), 0u);
}

// Cancelled before the wait, during it, or through a parent: CancelledError, resumed from the
// event loop rather than inside cancel(), and no timer left armed.
TEST(DelayTest, CancellationThrowsCancelledAndDisarmsTheTimer) {
  enum When { before, during, throughParent };
  for (const When when : {before, during, throughParent}) {
    SCOPED_TRACE(when);
    VirtualDelayScheduler scheduler;
    CancellationSource parent;
    CancellationSource source(parent.token());
    if (when == before) {
      source.cancel();
    }
    auto outcome = startTask(delay(scheduler, 60.0, source.token()));
    if (when != before) {
      EXPECT_EQ(scheduler.pendingCount(), 1u);
      (when == during ? source : parent).cancel();
      EXPECT_FALSE(outcome->finished);
    }
    flushEvents();
    ASSERT_TRUE(outcome->finished);
    EXPECT_TRUE(outcome->errorAs<CancelledError>());
    EXPECT_EQ(scheduler.pendingCount(), 0u);
  }
}

TEST(BootClockSchedulerTest, CancelledAndDistantTimersNeverFire) {
  BootClockScheduler scheduler;
  const double before = scheduler.now();
  std::vector<int> fired;
  scheduler.cancel(scheduler.schedule(0.0, [&] { fired.push_back(1); }));
  // Beyond the kernel's time type: must neither overflow nor fire at once.
  scheduler.schedule(std::numeric_limits<double>::infinity(), [&] { fired.push_back(2); });
  scheduler.schedule(1e300, [&] { fired.push_back(3); });
  scheduler.schedule(0.0, [&] { fired.push_back(4); });
  EXPECT_TRUE(waitUntil([&] { return !fired.empty(); }, 5000));
  flushEvents();
  EXPECT_EQ(fired, std::vector<int>{4});
  EXPECT_GE(scheduler.now(), before);
}
