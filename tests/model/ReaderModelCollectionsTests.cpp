#include "model/ReaderModelFixture.h"

#include "AccountFixtures.h"
#include "AsyncProbe.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

const QString itemsPath = QStringLiteral("/api/reader/items/");

class ReaderModelCollectionsTest : public ::testing::Test {
protected:
  ReaderModel& open() {
    fx.signIn();
    return fx.open();
  }
  DropSnapshot drop(int index) {
    return *fx.model().repository().snapshot(fx.release().release.lore[index].id);
  }
  int changesOf(const DropSnapshot& snapshot) { return fx.requestsTo(itemsPath + snapshot.id()); }
  void waitForCollection() {
    ASSERT_TRUE(waitUntil([&] { return !fx.model().collectionBusy(); }));
    flushEvents();
  }

  ReaderModelFixture fx;
};

TEST_F(ReaderModelCollectionsTest, ASecondTapWhileTheFirstRunsSendsNothing) {
  ReaderModel& model = open();
  const DropSnapshot idea = drop(20);
  model.changeCollection(idea, true);
  model.changeCollection(idea, true);
  waitForCollection();
  EXPECT_EQ(changesOf(idea), 1);
  EXPECT_TRUE(model.isLoved(idea));
  EXPECT_FALSE(model.message());
}

TEST_F(ReaderModelCollectionsTest, ImportSkipsWhatTheAccountHoldsAndStopsAtTheFirstFailure) {
  ReaderModel& model = open();
  for (const DropSnapshot& saved : model.savedSnapshots())
    model.repository().toggleSave(saved, fx.now());
  model.importLegacySaves();
  waitForCollection();
  EXPECT_EQ(model.message(),
            QStringLiteral("Imported 0 previous saves into this account. The originals are unchanged."));
  for (const LoggedRequest& request : fx.harness().service().requestLog())
    EXPECT_NE(request.method, "PUT");

  for (const int index : {10, 11, 12})
    model.repository().toggleSave(drop(index), fx.now());
  const qsizetype local = model.repository().saved().size();
  QList<DropSnapshot> fresh; // in the order the import goes
  for (const SavedSnapshot& saved : model.repository().saved())
    if (!model.isSaved(saved.snapshot))
      fresh.append(saved.snapshot);
  ASSERT_EQ(fresh.size(), 3);
  fx.harness().service().addFault("PUT", itemsPath + fresh[2].id(), {.status = 503});
  model.importLegacySaves();
  waitForCollection();
  ASSERT_TRUE(model.message());
  EXPECT_TRUE(model.message()->startsWith(QStringLiteral("Imported 2 saves before sync stopped: ")));
  EXPECT_TRUE(model.message()->endsWith(QStringLiteral(" Your originals are unchanged; retry to continue.")));
  EXPECT_TRUE(model.isSaved(fresh[0]) && model.isSaved(fresh[1]) && !model.isSaved(fresh[2]));
  EXPECT_EQ(model.repository().saved().size(), local);
}

TEST_F(ReaderModelCollectionsTest, PauseGoesToTheAccountFirstAndAFailureChangesNothingHere) {
  ReaderModel& model = open();
  fx.harness().service().addFault("PUT", "/api/reader/preferences", {.status = 503});
  model.togglePause();
  ASSERT_TRUE(waitUntil([&] { return model.message().has_value(); }));
  EXPECT_FALSE(model.preferences().value().schedule.paused());
  EXPECT_TRUE(model.nextDelivery());

  model.togglePause();
  ASSERT_TRUE(waitUntil([&] { return model.preferences().value().schedule.paused(); }));
  EXPECT_TRUE(
      fx.harness().service().accounts().settings(AccountFixtures::userID).preferences->schedule.paused());
  EXPECT_FALSE(model.nextDelivery());
}

} // namespace
} // namespace brindlewick
