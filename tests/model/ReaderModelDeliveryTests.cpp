#include "model/ReaderModelFixture.h"

#include <gtest/gtest.h>

namespace brindlewick {

struct ReaderModelTestAccess {
  static void fireDeliveryTimer(ReaderModel& model, qint64 generation) { model.deliveryTimerFired(generation); }
};

namespace {

class ReaderModelDeliveryTest : public ::testing::Test {
protected:
  ReaderModelFixture fx;
  qsizetype automaticShown() { return fx.model().repository().ledger().automaticPresentations().size(); }
};

TEST_F(ReaderModelDeliveryTest, CatchUpShowsTheDueDropAndCountsItOnceSeen) {
  fx.signIn();
  ReaderModel& model = fx.open();
  ASSERT_TRUE(model.eligible());
  ASSERT_TRUE(model.nextDelivery().has_value());
  fx.advance(3.05);
  EXPECT_TRUE(model.teaserPanel().panel().isVisible());
  EXPECT_EQ(automaticShown(), 0);
  fx.advance(0.1);
  EXPECT_EQ(automaticShown(), 1);
  EXPECT_EQ(fx.dropSound->plays, 1);
}

} // namespace
} // namespace brindlewick
