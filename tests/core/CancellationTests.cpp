#include "AsyncProbe.h"
#include "Cancellation.h"
#include "DelayScheduler.h"
#include "VirtualDelayScheduler.h"

#include <gtest/gtest.h>

#include <QPointer>

#include <vector>

using namespace brindlewick;

TEST(CancellationTest, DefaultTokenNeverCancels) {
  CancellationToken token;
  EXPECT_FALSE(token.canBeCancelled());
  EXPECT_FALSE(token.isCancelled());
  EXPECT_NO_THROW(token.throwIfCancelled());
  bool ran = false;
  auto registration = token.onCancel([&] { ran = true; });
  EXPECT_FALSE(ran);
}

TEST(CancellationTest, CallbacksRunOnceInOrderAndUnregisteredOnesNever) {
  CancellationSource source;
  std::vector<int> calls;
  auto first = source.token().onCancel([&] { calls.push_back(1); });
  auto dropped = source.token().onCancel([&] { calls.push_back(2); });
  auto third = source.token().onCancel([&] { calls.push_back(3); });
  dropped.reset();
  source.cancel();
  source.cancel();
  EXPECT_EQ(calls, (std::vector<int>{1, 3}));
  EXPECT_THROW(source.token().throwIfCancelled(), CancelledError);

  // Registering on a cancelled token runs the callback at once.
  bool late = false;
  auto lateRegistration = source.token().onCancel([&] { late = true; });
  EXPECT_TRUE(late);
}

TEST(CancellationTest, CallbackMayUnregisterALaterOne) {
  CancellationSource source;
  bool laterRan = false;
  CancellationRegistration later;
  auto earlier = source.token().onCancel([&] { later.reset(); });
  later = source.token().onCancel([&] { laterRan = true; });
  source.cancel();
  EXPECT_FALSE(laterRan);
}

TEST(CancellationTest, ParentCancelsChildButNotTheOtherWayRound) {
  CancellationSource parent;
  CancellationSource child(parent.token());
  CancellationSource grandchild(child.token());
  CancellationSource sibling(parent.token());

  sibling.cancel();
  EXPECT_FALSE(parent.isCancelled());
  EXPECT_FALSE(child.isCancelled());

  parent.cancel();
  EXPECT_TRUE(child.isCancelled());
  EXPECT_TRUE(grandchild.token().isCancelled());

  CancellationSource bornCancelled(parent.token());
  EXPECT_TRUE(bornCancelled.isCancelled());
}

TEST(CancellationTest, ChildDestroyedBeforeParentIsForgotten) {
  CancellationSource parent;
  { CancellationSource child(parent.token()); }
  EXPECT_NO_THROW(parent.cancel());
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

TEST(DelayTest, CancellingDuringTheWaitThrowsCancelledAndDisarmsTheTimer) {
  VirtualDelayScheduler scheduler;
  CancellationSource source;
  auto outcome = startTask(delay(scheduler, 60.0, source.token()));
  EXPECT_EQ(scheduler.pendingCount(), 1u);
  source.cancel();
  // The waiter is resumed from the event loop, not inside cancel().
  EXPECT_FALSE(outcome->finished);
  flushEvents();
  ASSERT_TRUE(outcome->finished);
  EXPECT_TRUE(outcome->errorAs<CancelledError>());
  EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(DelayTest, AlreadyCancelledTokenThrowsWithoutArmingATimer) {
  VirtualDelayScheduler scheduler;
  CancellationSource source;
  source.cancel();
  auto outcome = startTask(delay(scheduler, 1.0, source.token()));
  flushEvents();
  ASSERT_TRUE(outcome->finished);
  EXPECT_TRUE(outcome->errorAs<CancelledError>());
  EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(DelayTest, ParentCancellationReachesADelayOnAChildToken) {
  VirtualDelayScheduler scheduler;
  CancellationSource parent;
  CancellationSource child(parent.token());
  auto outcome = startTask(delay(scheduler, 5.0, child.token()));
  parent.cancel();
  flushEvents();
  EXPECT_TRUE(outcome->errorAs<CancelledError>());
}

namespace {

// A loop of delays that resumes into its owner, checking the owner after every wait.
class Ticker : public QObject {
public:
  int ticks = 0;

  static QCoro::Task<int> run(QPointer<Ticker> self, DelayScheduler& scheduler, int count) {
    for (int i = 0; i < count; ++i) {
      co_await delay(scheduler, 1.0, {});
      if (!self) {
        co_return -1;
      }
      self->ticks += 1;
    }
    co_return self->ticks;
  }
};

} // namespace

TEST(DelayTest, ChainedDelaysAdvanceStepByStepAndStopWhenTheOwnerIsGone) {
  VirtualDelayScheduler scheduler;
  auto* ticker = new Ticker;
  auto outcome = startTask(Ticker::run(ticker, scheduler, 10));
  scheduler.advance(3.5);
  EXPECT_EQ(ticker->ticks, 3);
  delete ticker;
  scheduler.advance(1.0);
  ASSERT_TRUE(outcome->finished);
  EXPECT_EQ(outcome->get(), -1);
}

TEST(BootClockSchedulerTest, CancelledTimerNeverFiresAndClockAdvances) {
  BootClockScheduler scheduler;
  const double before = scheduler.now();
  bool cancelledFired = false;
  bool fired = false;
  auto id = scheduler.schedule(0.0, [&] { cancelledFired = true; });
  scheduler.cancel(id);
  scheduler.schedule(0.0, [&] { fired = true; });
  EXPECT_TRUE(waitUntil([&] { return fired; }, 5000));
  EXPECT_FALSE(cancelledFired);
  EXPECT_GE(scheduler.now(), before);
}
