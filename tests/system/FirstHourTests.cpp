// A newcomer's first hour with the real program, watched from outside: the onboarding on a
// first launch, a browser sign-in against a stand-in that approves by itself, a drop asked
// for from the launcher while another window keeps the keyboard, a link that brings the
// reader window back, quitting from the menu, and a relaunch that stays signed in.
#include "AsyncProbe.h"
#include "DevelopmentCopy.h"
#include "RawStoreDatabase.h"
#include "ReadingService.h"
#include "TestCertificateAuthority.h"
#include "TestOutput.h"
#include "account/AccountContracts.h"
#include "desktop/AccessibilityTree.h"
#include "desktop/KeychainStorage.h"
#include "desktop/NewcomerRun.h"
#include "desktop/X11Windows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
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
// Showing, whether enabled or not: the onboarding's controls are disabled while it signs in.
constexpr AccessibilityTree::Filter anyState{.showing = true, .enabled = false};

constexpr int kWaitMilliseconds = Newcomer::waitMilliseconds;
const QString readerId = QStringLiteral("newcomer");

QStringList requestsOf(const ReadingService& service) {
  QStringList requests;
  for (const LoggedRequest& request : service.requestLog())
    requests << QString::fromLatin1(request.method) + u' ' + request.path;
  return requests;
}

// Whether a logged request ("GET /path") matches the start of `pattern`.
bool anyRequest(const ReadingService& service, const QString& pattern) {
  const QRegularExpression expression(u'^' + pattern);
  for (const QString& request : requestsOf(service))
    if (expression.match(request).hasMatch())
      return true;
  return false;
}

// The bearer tokens the program showed the account routes.
QStringList accountTokens(const ReadingService& service) {
  QStringList tokens;
  for (const LoggedRequest& request : service.requestLog())
    if (request.path == QLatin1String("/api/reader/me"))
      tokens << request.bearerToken().value_or(QString());
  return tokens;
}

int seenDrops(const QString& storeFile) {
  RawStoreDatabase store(storeFile, RawStoreDatabase::Access::readOnly);
  return int(QJsonDocument::fromJson(store.records().value(QStringLiteral("seen"))).object().size());
}

void screenshot(const QString& name) {
  const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
  EXPECT_TRUE(!screen.isNull() && screen.save(testing::testOutputPath(name))) << name.toStdString();
}

bool pressSettled(AccessibilityTree& tree, qint64 pid, const QString& name) {
  return tree.pressSettled(pid, Role::pushButton, name, kWaitMilliseconds);
}

// Presses "Quit Brindlewick" in the menu bar, as a screen reader reaches it without opening
// the menu, and expects the program to end well within 5 s.
void quitFromMenu(AccessibilityTree& tree, QProcess& program) {
  const std::optional<AccessibilityTree::Node> quit =
      tree.find(program.processId(), Role::menuItem, QStringLiteral("Quit Brindlewick"), {.showing = false});
  ASSERT_TRUE(quit.has_value()) << "no \"Quit Brindlewick\" in the menus";
  ASSERT_TRUE(tree.press(*quit));
  ASSERT_TRUE(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, 5000))
      << "still running 5 s after Quit";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
}

// Gives `window` the input focus until it has kept it for half a second: the reader window
// may still be settling after the sign-in.
bool keepsFocus(X11Windows& display, xcb_window_t window) {
  QElapsedTimer kept;
  kept.start();
  return QTest::qWaitFor(
      [&] {
        if (display.inputFocus() != window) {
          display.focus(window);
          kept.restart();
        }
        return kept.elapsed() >= 500;
      },
      kWaitMilliseconds);
}

bool stackedAbove(X11Windows& display, xcb_window_t upper, xcb_window_t lower) {
  const QList<xcb_window_t> order = display.stackingOrder();
  return order.indexOf(upper) > order.indexOf(lower) && order.indexOf(lower) >= 0;
}

TEST(FirstHour, ANewcomerSignsInAsksForADropAndComesBackSignedIn) {
  AccessibilityTree tree;
  if (const QString missing = missingDesktop(tree); !missing.isEmpty())
    GTEST_SKIP() << missing.toStdString();

  // The stand-in: a browser signed in as the newcomer, approving every sign-in by itself.
  TestCertificateAuthority authority;
  ReadingService service(authority.issueServerIdentity());
  approveEverySignIn(service,
                     {readerId, QStringLiteral("New Reader"), QStringLiteral("new@example.com"), {}});

  QTemporaryDir folder;
  ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("program")));
  const QString program = installDevelopmentCopy(QStringLiteral(BRINDLEWICK_DEVELOPMENT_EXECUTABLE),
                                                 folder.filePath(QStringLiteral("program")),
                                                 service.baseURL(), authority.certificate().toPem());
  ASSERT_FALSE(program.isEmpty());
  const Newcomer newcomer(program, folder.filePath(QStringLiteral("home")));
  X11Windows display;
  ASSERT_TRUE(display.ok());

  // 1. The first launch shows the onboarding and asks the service nothing about an account.
  std::optional<Program> first(std::in_place);
  newcomer.start(*first);
  ASSERT_TRUE(first->waitForStarted());
  const qint64 firstPid = first->processId();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return tree.find(firstPid, Role::pushButton, QStringLiteral("Get started")).has_value(); },
      kWaitMilliseconds))
      << "no onboarding with \"Get started\" showed";
  QTest::qWait(500); // its fade-in
  screenshot(QStringLiteral("system-onboarding.png"));
  EXPECT_FALSE(anyRequest(service, QStringLiteral("\\S+ /api/reader")))
      << requestsOf(service).join(u", ").toStdString();

  // 2. Sign-in, pressed as an assistive technology presses.
  ASSERT_TRUE(pressSettled(tree, firstPid, QStringLiteral("Get started")));
  ASSERT_TRUE(pressSettled(tree, firstPid, QStringLiteral("Continue with Google")))
      << "\"Continue with Google\" could not be pressed";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !newcomer.opened().isEmpty(); }, kWaitMilliseconds))
      << "the browser was never asked to open the verification page";
  EXPECT_TRUE(newcomer.opened().front().startsWith(service.baseURL().toString() + QStringLiteral("/device")))
      << newcomer.opened().front().toStdString();
  const QStringList road = {"POST /api/reader-auth/device/code",
                            "POST /api/reader-auth/device/token",
                            "GET /api/reader/me",
                            "GET /api/reader/items",
                            "GET /api/reader/preferences",
                            "GET /api/\\S+/content/manifest",
                            "GET /api/\\S+/content/releases/"};
  for (const QString& step : road)
    ASSERT_TRUE(QTest::qWaitFor([&] { return anyRequest(service, step); }, kWaitMilliseconds))
        << step.toStdString() << " never came: " << requestsOf(service).join(u", ").toStdString();
  KeychainStorage keyring(QStringLiteral("app.brindlewick.credentials"));
  const std::optional<QByteArray> stored =
      finishTask(keyring.read(AccountKeys::credentialKey(service.baseURL()))).get();
  ASSERT_TRUE(stored.has_value()) << "the keyring holds no credential";
  const SessionCredential credential = SessionCredential::fromJson(*stored);
  EXPECT_EQ(credential.userID, readerId);
  EXPECT_EQ(accountTokens(service).value(0), credential.token);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return RawStoreDatabase(newcomer.storeFile(), RawStoreDatabase::Access::readOnly)
                   .records()
                   .value(QStringLiteral("release")) == service.content().current()->body;
      },
      kWaitMilliseconds))
      << "the store never held the sample release as served";
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return !tree.find(firstPid, Role::pushButton, QStringLiteral("Continue with Google"), anyState);
      },
      kWaitMilliseconds))
      << "the onboarding stayed";
  QTest::qWait(800); // the onboarding's fade-out
  screenshot(QStringLiteral("system-signed-in.png"));

  // 3. "Show Drop" from the launcher while a window of the reader's own holds the keyboard.
  const QList<xcb_window_t> readerWindows = display.mappedWindowsOf(firstPid, true);
  ASSERT_FALSE(readerWindows.isEmpty()) << "no reader window after sign-in";
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const xcb_window_t own =
      display.openFocusedWindow(QRect(screen.center() - QPoint(500, 250), QSize(1000, 600)));
  ASSERT_TRUE(keepsFocus(display, own)) << "the test's window could not keep the input focus";
  const int seenBefore = seenDrops(newcomer.storeFile());
  const QList<xcb_window_t> before = display.mappedWindowsOf(firstPid);
  ASSERT_EQ(newcomer.launchAgain({QStringLiteral("--show")}), 0);
  std::optional<xcb_window_t> panel;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (const xcb_window_t window : display.mappedWindowsOf(firstPid))
          if (!before.contains(window))
            panel = window;
        return panel.has_value() && seenDrops(newcomer.storeFile()) > seenBefore;
      },
      kWaitMilliseconds))
      << "no teaser showed and no drop was seen";
  const QRect frame = display.geometry(*panel);
  EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 2) << "the teaser is not centred";
  EXPECT_LT(frame.top(), screen.height() / 5) << "the teaser is not at the top";
  QTest::qWait(600); // the teaser's entrance
  EXPECT_EQ(display.inputFocus(), own) << "the teaser took the keyboard";
  screenshot(QStringLiteral("system-drop.png"));

  // A reader without a tray reaches the drop from a shortcut bound to the launcher's actions:
  // "Focus reader for keyboard" gives the drop's card the keyboard, "Dismiss reader" takes it away.
  ASSERT_EQ(newcomer.launchAgain({QStringLiteral("--focus-reader")}), 0);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        const xcb_window_t focus = display.inputFocus();
        return focus != own && !before.contains(focus) && display.mappedWindowsOf(firstPid).contains(focus);
      },
      kWaitMilliseconds))
      << "the card never took the keyboard";
  QTest::qWait(600); // the card's entrance
  screenshot(QStringLiteral("system-drop-focused.png"));
  ASSERT_EQ(newcomer.launchAgain({QStringLiteral("--dismiss")}), 0);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        const QList<xcb_window_t> mapped = display.mappedWindowsOf(firstPid);
        return std::all_of(mapped.begin(), mapped.end(),
                           [&](xcb_window_t window) { return before.contains(window); });
      },
      kWaitMilliseconds))
      << "the drop stayed on screen";
  display.focus(own);

  // 4. A link brings the reader window in front of the reader's own window.
  ASSERT_FALSE(stackedAbove(display, readerWindows.front(), own));
  ASSERT_EQ(newcomer.launchAgain({QStringLiteral("brindlewick://today")}), 0);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return stackedAbove(display, readerWindows.front(), own); }, kWaitMilliseconds))
      << "the reader window stayed behind";
  display.destroyWindow(own);

  // 5. Quitting from the menu ends the program at once, and takes its socket with it.
  ASSERT_TRUE(QFile::exists(newcomer.socketFile()));
  quitFromMenu(tree, *first);
  EXPECT_FALSE(QFile::exists(newcomer.socketFile()));
  first.reset();

  // 6. The relaunch fetches the account with the same token: no new grant, no onboarding.
  service.clearRequestLog();
  Program relaunch;
  newcomer.start(relaunch);
  ASSERT_TRUE(relaunch.waitForStarted());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !accountTokens(service).isEmpty(); }, kWaitMilliseconds))
      << "the relaunch fetched no account: " << requestsOf(service).join(u", ").toStdString();
  EXPECT_EQ(accountTokens(service).front(), credential.token);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !display.mappedWindowsOf(relaunch.processId(), true).isEmpty(); },
                              kWaitMilliseconds));
  QTest::qWait(1000); // what would show, has shown
  EXPECT_FALSE(tree.find(relaunch.processId(), Role::pushButton, QStringLiteral("Get started"), anyState));
  EXPECT_FALSE(
      tree.find(relaunch.processId(), Role::pushButton, QStringLiteral("Continue with Google"), anyState));
  EXPECT_FALSE(anyRequest(service, QStringLiteral("POST /api/reader-auth/")))
      << requestsOf(service).join(u", ").toStdString();
  screenshot(QStringLiteral("system-relaunched.png"));
  quitFromMenu(tree, relaunch);
}

#else

TEST(FirstHour, ANewcomerSignsInAsksForADropAndComesBackSignedIn) {
  GTEST_SKIP() << "needs libxcb and the program built with the development trust (BRINDLEWICK_BENCH=ON)";
}

#endif

} // namespace
} // namespace brindlewick
