// The program as it ships, started with an update feed and its key in its configuration, runs
// its own updater: the settings page says so and offers a check, and the check reads the feed.
#include "DevelopmentCopy.h"
#include "ReadingService.h"
#include "TestCertificateAuthority.h"
#include "TestOutput.h"
#include "desktop/AccessibilityTree.h"
#include "desktop/NewcomerRun.h"
#include "service/UpdateConfiguration.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace brindlewick {
namespace {

#if defined(BRINDLEWICK_HAVE_XCB) && defined(BRINDLEWICK_DEVELOPMENT_EXECUTABLE)

using Role = AccessibilityTree::Role;
constexpr int kWaitMilliseconds = Newcomer::waitMilliseconds;
const QString enabledLine = QStringLiteral("Updates are enabled for the configured update feed.");
const QString feedPath = QStringLiteral("/updates/feed.json");

bool hasElementNamed(AccessibilityTree& tree, qint64 pid, const QString& name) {
  const QList<AccessibilityTree::Element> elements = tree.elements(pid);
  return std::any_of(elements.begin(), elements.end(),
                     [&](const AccessibilityTree::Element& element) { return element.name == name; });
}

int feedReads(const ReadingService& service) {
  const QList<LoggedRequest>& log = service.requestLog();
  return int(std::count_if(log.begin(), log.end(), [](const LoggedRequest& request) {
    return request.method == "GET" && request.path == feedPath;
  }));
}

TEST(ProgramUpdater, AConfiguredFeedStartsTheUpdaterOfTheRunningProgram) {
  AccessibilityTree tree;
  if (const QString missing = missingDesktop(tree); !missing.isEmpty())
    GTEST_SKIP() << missing.toStdString();

  TestCertificateAuthority authority;
  ReadingService service(authority.issueServerIdentity());
  approveEverySignIn(
      service,
      {QStringLiteral("updater"), QStringLiteral("Uma Updater"), QStringLiteral("uma@example.com"), {}});
  QUrl feed = service.baseURL();
  feed.setPath(feedPath);
  QTemporaryDir folder;
  ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("program")));
  const QString program = installDevelopmentCopy(
      QStringLiteral(BRINDLEWICK_DEVELOPMENT_EXECUTABLE), folder.filePath(QStringLiteral("program")),
      service.baseURL(), authority.certificate().toPem(),
      {{UpdateConfiguration::feedKey, feed.toString()},
       {UpdateConfiguration::publicKeyKey, service.updates().publicKey()}});
  ASSERT_FALSE(program.isEmpty());
  const Newcomer newcomer(program, folder.filePath(QStringLiteral("home")));
  Program run;
  newcomer.start(run);
  ASSERT_TRUE(run.waitForStarted());
  const qint64 pid = run.processId();

  // Signed in through the onboarding, the settings page is open to the reader.
  ASSERT_TRUE(tree.pressSettled(pid, Role::pushButton, QStringLiteral("Get started"), kWaitMilliseconds));
  ASSERT_TRUE(
      tree.pressSettled(pid, Role::pushButton, QStringLiteral("Continue with Google"), kWaitMilliseconds));
  ASSERT_TRUE(tree.pressSettled(pid, Role::pageTab, QStringLiteral("Settings"), kWaitMilliseconds))
      << "the sidebar never offered Settings";

  EXPECT_TRUE(QTest::qWaitFor([&] { return hasElementNamed(tree, pid, enabledLine); }, kWaitMilliseconds))
      << AccessibilityTree::dump(tree.elements(pid)).toStdString();
  // Found only while it can be pressed.
  const std::optional<AccessibilityTree::Node> check =
      tree.find(pid, Role::pushButton, QStringLiteral("Check for updates"), {.showing = false});
  ASSERT_TRUE(check.has_value()) << "no enabled \"Check for updates\"";

  // The check is the running updater's: it reads the configured feed.
  EXPECT_EQ(feedReads(service), 0) << "the first scheduled check comes a minute after the start";
  ASSERT_TRUE(tree.press(*check));
  EXPECT_TRUE(QTest::qWaitFor([&] { return feedReads(service) == 1; }, kWaitMilliseconds))
      << "the feed was never read";
  QTest::qWait(1000); // what the check shows, has shown
  const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
  EXPECT_TRUE(screen.save(testing::testOutputPath(QStringLiteral("system-updater-check.png"))));
}

#else

TEST(ProgramUpdater, AConfiguredFeedStartsTheUpdaterOfTheRunningProgram) {
  GTEST_SKIP() << "needs libxcb and the program built with the development trust (BRINDLEWICK_BENCH=ON)";
}

#endif

} // namespace
} // namespace brindlewick
