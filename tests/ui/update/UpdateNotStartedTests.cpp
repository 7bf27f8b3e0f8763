#include "AsyncProbe.h"
#include "TestOutput.h"
#include "model/FeedUpdaterRig.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropTextBlock.h"
#include "ui/update/UpdateWindow.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// The version put back after a new one did not start tells the reader in the update window,
// which comes forward with its one button; and the version that did not start is no longer
// offered unasked.
TEST(UpdateNotStarted, theVersionPutBackSaysWhyAndTheFailedOneIsNotOfferedUnasked) {
  ASSERT_TRUE(DropFonts::registerFonts());
  FeedUpdaterRig rig;
  const std::unique_ptr<FeedUpdater> updater = rig.make("0.1.0");
  UpdateWindow window(*updater);
  int offers = 0;
  QObject::connect(updater.get(), &FeedUpdater::offered, &window, [&offers] { ++offers; });

  updater->reportNotStarted(QStringLiteral("0.2.0"),
                            QStringLiteral("it was ended by signal 11 (Segmentation fault) before it came up"));

  ASSERT_TRUE(waitUntil([&] { return window.isVisible(); }));
  EXPECT_EQ(window.page(), UpdateWindow::Page::message);
  EXPECT_EQ(window.headline(), "Brindlewick 0.2.0 did not start.");
  EXPECT_EQ(window.messageDetail()->text(),
            "Brindlewick 0.1.0, the version you had, is back in its place. What happened: It was ended by signal 11 "
            "(Segmentation fault) before it came up.");
  EXPECT_FALSE(window.secondaryButton()->isVisible());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QApplication::processEvents();
  EXPECT_TRUE(window.grab().save(testing::testOutputPath("update-did-not-start.png")));
  // The keyboard alone closes it: the button holds the focus.
  EXPECT_EQ(QApplication::focusWidget(), window.primaryButton());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_TRUE(waitUntil([&] { return !window.isVisible(); }));

  rig.harness.advance(FeedUpdater::firstCheckDelay);
  ASSERT_TRUE(waitUntil([&] { return rig.feedRequests() == 1 && updater->canCheckForUpdates(); }));
  EXPECT_EQ(offers, 0) << "a scheduled check does not offer the version that did not start";
  updater->checkForUpdates();
  EXPECT_TRUE(waitUntil([&] { return offers == 1; })) << "the reader's own check still does";
}

} // namespace
} // namespace brindlewick
