#include "app/LaunchRequestQueue.h"
#include "app/ReaderLaunch.h"
#include "app/SingleInstance.h"
#include "model/ReaderModelFixture.h"

#include <QEventLoop>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace brindlewick;

namespace {

LaunchRequest linkRequest(const QString& link, const QString& startupId = {}) {
  LaunchRequest request;
  request.kind = LaunchRequest::Kind::openLinks;
  request.links = {link};
  request.startupId = startupId;
  return request;
}

LaunchRequest actionRequest(LaunchAction action) {
  LaunchRequest request;
  request.kind = LaunchRequest::Kind::action;
  request.action = action;
  return request;
}

// A later start as the running one sees it: its request on the socket, answered from the
// event loop, without blocking the thread the running start serves it on.
struct LaterStart {
  LaterStart(const QString& socketPath, const LaunchRequest& request) {
    socket.connectToServer(socketPath);
    socket.write(request.toJson() + '\n');
  }
  bool accepted() { return (answer += socket.readAll()) == "accepted\n"; }

  QLocalSocket socket;
  QByteArray answer;
};

class LaunchRequestQueueTest : public testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(instance.start(LaunchRequest{}), SingleInstance::Role::running); }

  QTemporaryDir folder;
  SingleInstance instance{folder.path()};
  LaunchRequestQueue queue{&instance};
};

TEST_F(LaunchRequestQueueTest, KeptRequestsGoFirstInOrderAndOneArrivingMeanwhileWaitsItsTurn) {
  // What the start shows meanwhile hears of each request kept, and only of those.
  QSignalSpy kept(&queue, &LaunchRequestQueue::kept);
  queue.enqueue(actionRequest(LaunchAction::show)); // the first start's own
  for (const LaunchRequest& request : {linkRequest("brindlewick:a", "launcher_TIME1"), LaunchRequest{}}) {
    LaterStart later(instance.socketPath(), request);
    ASSERT_TRUE(QTest::qWaitFor([&] { return later.accepted(); }, 5000));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return queue.pendingCount() == 3; }, 5000));
  EXPECT_EQ(kept.count(), 3);

  // The first handled request spins an event loop, as a modal alert does, and a later start
  // comes in while it runs.
  std::vector<LaunchRequest> handled;
  const QString socketPath = instance.socketPath();
  std::unique_ptr<LaterStart> meanwhile;
  QObject context;
  queue.deliverTo(&context, [&](const LaunchRequest& request) {
    handled.push_back(request);
    if (handled.size() != 1)
      return;
    meanwhile = std::make_unique<LaterStart>(socketPath, actionRequest(LaunchAction::library));
    EXPECT_TRUE(QTest::qWaitFor([&] { return queue.pendingCount() == 2 + 1; }, 5000));
    EXPECT_EQ(handled.size(), 1u) << "nothing overtakes the request being handled";
  });
  const std::vector<LaunchRequest> expected = {actionRequest(LaunchAction::show),
                                               linkRequest("brindlewick:a", "launcher_TIME1"),
                                               LaunchRequest{}, actionRequest(LaunchAction::library)};
  EXPECT_EQ(handled, expected);
  EXPECT_EQ(queue.pendingCount(), 0);

  // Handled at once while the handler's owner lives; kept again once it is gone.
  {
    LaterStart later(instance.socketPath(), linkRequest("brindlewick:b"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return handled.size() == 5; }, 5000));
  }
  queue.deliverTo(nullptr, [&](const LaunchRequest& request) { handled.push_back(request); });
  LaterStart unanswered(instance.socketPath(), linkRequest("brindlewick:c"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return queue.pendingCount() == 1; }, 5000));
  EXPECT_EQ(handled.size(), 5u);
  EXPECT_EQ(kept.count(), 4);
}

// The model opens while the keyring waits for the reader to unlock it: later starts that come
// meanwhile are answered, kept, and carried out once the window is there.
TEST_F(LaunchRequestQueueTest, StartsDuringAHeldKeyringReadAreCarriedOutOnceTheReaderIsUp) {
  ReaderModelFixture fixture;
  fixture.signIn();
  fixture.storage().setHolding(true);
  std::vector<std::unique_ptr<LaterStart>> later;
  QTimer steps;
  QObject::connect(&steps, &QTimer::timeout, [&] {
    if (later.empty() && fixture.storage().heldCount() == 1) {
      for (const LaunchRequest& request :
           {linkRequest("brindlewick:open"), actionRequest(LaunchAction::library),
            actionRequest(LaunchAction::discover)})
        later.push_back(std::make_unique<LaterStart>(instance.socketPath(), request));
    } else if (!later.empty() && queue.pendingCount() == 3 && fixture.storage().heldCount() == 1) {
      fixture.storage().setHolding(false);
      fixture.storage().releaseOldest();
    }
  });
  steps.start(5);

  ReaderAppDelegate::Options options;
  options.alert = [](const QString& title, const QString& text) {
    ADD_FAILURE() << title.toStdString() << ": " << text.toStdString();
  };
  options.openUrl = [](const QUrl&) {};
  options.statusItem = false;
  const ReaderLaunch launch = launchReader(fixture.services(), options, &queue);
  steps.stop();
  ASSERT_TRUE(launch.model);
  ASSERT_EQ(later.size(), 3u);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return std::all_of(later.begin(), later.end(), [](const auto& start) { return start->accepted(); });
      },
      5000));
  EXPECT_EQ(queue.pendingCount(), 0);
  ASSERT_NE(launch.delegate->window(), nullptr);
  EXPECT_TRUE(launch.delegate->window()->isVisible());
  EXPECT_EQ(launch.model->navigationTab(), ReaderTab::discover) << "the saved page came first, then discover";
}

} // namespace
