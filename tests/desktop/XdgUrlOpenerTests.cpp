#include "AsyncProbe.h"
#include "VirtualDelayScheduler.h"
#include "desktop/XdgUrlOpener.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// A stand-in for xdg-open: a shell script that writes the arguments it was given, one a
// line, beside itself, then runs `body`.
QString stubProgram(const QTemporaryDir& folder, const QByteArray& body) {
  const QString path = folder.filePath(QStringLiteral("xdg-open"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return {};
  file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.arguments\"\n" + body + "\n");
  file.close();
  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return path;
}

const QUrl page(QStringLiteral("https://reading.example/device?code=ABCD-EFGH&x=%C3%A9"));

TEST(XdgUrlOpener, TheExitStatusTellsWhetherTheAddressOpened) {
  const struct {
    const char* name;
    QByteArray body;
    bool opened;
  } rows[] = {
      {"a browser took it", "exit 0", true},
      {"no method available", "echo 'xdg-open: no method available' >&2; exit 3", false},
      {"the browser failed", "exit 4", false},
      {"killed by a signal", "kill -9 $$", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QTemporaryDir folder;
    VirtualDelayScheduler scheduler;
    XdgUrlOpener opener(scheduler, stubProgram(folder, row.body));
    const auto outcome = startTask(opener.open(page));
    ASSERT_TRUE(waitUntilFinished(outcome));
    EXPECT_EQ(outcome->get(), row.opened);
    QFile arguments(folder.filePath(QStringLiteral("xdg-open.arguments")));
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(arguments.readAll(), page.toString(QUrl::FullyEncoded).toUtf8() + "\n");
  }
}

TEST(XdgUrlOpener, AMissingProgramOpensNothing) {
  const QTemporaryDir folder;
  VirtualDelayScheduler scheduler;
  XdgUrlOpener opener(scheduler, folder.filePath(QStringLiteral("no-such-xdg-open")));
  const auto outcome = startTask(opener.open(page));
  ASSERT_TRUE(waitUntilFinished(outcome));
  EXPECT_FALSE(outcome->get());
}

// Some desktops make xdg-open wait for the browser it started: still running after the
// patience, it has handed the address on. It is not stopped then, only with the opener.
TEST(XdgUrlOpener, AnOpenerStillRunningAfterItsPatienceCountsAsOpened) {
  const QTemporaryDir folder;
  VirtualDelayScheduler scheduler;
  auto opener = std::make_unique<XdgUrlOpener>(scheduler, stubProgram(folder, "exec sleep 30"), 5);
  const auto outcome = startTask(opener->open(page));
  ASSERT_TRUE(waitUntil([&] { return QFile::exists(folder.filePath(QStringLiteral("xdg-open.arguments"))); }));
  scheduler.advance(4.9);
  flushEvents();
  EXPECT_FALSE(outcome->finished);
  scheduler.advance(0.1);
  ASSERT_TRUE(waitUntilFinished(outcome));
  EXPECT_TRUE(outcome->get());
  EXPECT_EQ(opener->findChildren<QProcess*>(Qt::FindDirectChildrenOnly).size(), 1) << "still running";
  opener.reset();
  EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(XdgUrlOpener, AnOpenerThatGoesFirstAnswersNotOpened) {
  const QTemporaryDir folder;
  VirtualDelayScheduler scheduler;
  auto opener = std::make_unique<XdgUrlOpener>(scheduler, stubProgram(folder, "exec sleep 30"));
  const auto outcome = startTask(opener->open(page));
  ASSERT_TRUE(waitUntil([&] { return QFile::exists(folder.filePath(QStringLiteral("xdg-open.arguments"))); }));
  opener.reset();
  ASSERT_TRUE(waitUntilFinished(outcome));
  EXPECT_FALSE(outcome->get());
  EXPECT_EQ(scheduler.pendingCount(), 0u);
}

} // namespace
} // namespace brindlewick
