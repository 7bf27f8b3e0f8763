#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace brindlewick;

namespace {

// One start of SingleInstanceChild; a held one waits for release().
struct Start : QProcess {
  Start(const QString& folder, const QStringList& arguments, bool held = false,
        const QString& startupId = {}, bool givesWay = false) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (givesWay)
      environment.insert("SINGLE_INSTANCE_GIVES_WAY", "1");
    environment.insert("DESKTOP_STARTUP_ID", startupId);
    environment.insert("XDG_ACTIVATION_TOKEN", startupId.isEmpty() ? "" : "token");
    setProcessEnvironment(environment);
    start(BRINDLEWICK_SINGLE_INSTANCE_CHILD, QStringList{folder} + arguments);
    if (!held)
      release();
  }
  ~Start() override {
    kill();
    waitForFinished();
  }
  void release() {
    write("go\n");
    waitForBytesWritten(); // now, not when the test next waits on this start
  }
  QString nextLine() {
    while (!canReadLine() && waitForReadyRead(10000)) {
    }
    return QString::fromLocal8Bit(readLine()).trimmed();
  }
  // Closes standard input, which ends a running start; its exit status.
  int finish() {
    closeWriteChannel();
    return waitForFinished(10000) && exitStatus() == NormalExit ? exitCode() : -1;
  }
};

// Releases held starts together: the one that runs, once every other one has handed over its
// request and ended; null unless exactly one runs.
Start* releaseTogether(const std::vector<std::unique_ptr<Start>>& starts) {
  QTest::qWait(200); // each one waits for its release now
  for (const auto& start : starts)
    start->release();
  std::vector<Start*> running;
  for (const auto& start : starts) {
    const QString first = start->nextLine();
    if (first == "running")
      running.push_back(start.get());
    else
      EXPECT_TRUE(first == "forwarded" && start->finish() == 0)
          << first.toStdString() << start->readAllStandardError().toStdString();
  }
  EXPECT_EQ(running.size(), 1u);
  return running.size() == 1 ? running.front() : nullptr;
}

class SingleInstanceTest : public testing::Test {
protected:
  QTemporaryDir folder;
  const QString socket = SingleInstance(folder.path()).socketPath();
};

// Meanwhile clients that send nothing, too much or something else must neither hold the
// running start up nor stay connected.
TEST_F(SingleInstanceTest, ALaterStartHandsOverItsRequestAndStartupIdsAndEnds) {
  const std::pair<QStringList, QString> rows[] = {
      {{}, "reopen [|]"},
      {{"https://a.example/", "brindlewick:x?y=1", "brindlewick:"},
       "links https://a.example/ brindlewick:x?y=1 brindlewick: [|]"},
      {{"--show"}, "action --show [|]"},
      {{"--library"}, "action --library [|]"},
      {{"--library", "brindlewick:x"}, "links --library brindlewick:x [|]"}, // an action stands alone
      {{"--Show"}, "links --Show [|]"},
  };
  Start running(folder.path(), {});
  ASSERT_EQ(running.nextLine(), "running");
  QLocalSocket silent, oversized, malformed;
  for (QLocalSocket* client : {&silent, &oversized, &malformed}) {
    client->connectToServer(socket);
    ASSERT_TRUE(client->waitForConnected(3000));
  }
  // Written out now: a socket left to flush on the next event loop would reach the running
  // start only after its read deadline, on a loaded machine.
  oversized.write(QByteArray(70 * 1024, 'x'));
  malformed.write(R"({"kind":"reopen","startupId":"","activationToken":"","links":[]})"
                  "\n");
  for (QLocalSocket* client : {&oversized, &malformed})
    client->waitForBytesWritten(3000);
  ASSERT_TRUE(malformed.bytesAvailable() > 0 || malformed.waitForReadyRead(10000));
  EXPECT_EQ(malformed.readAll(), "refused\n");

  for (const auto& [arguments, received] : rows) {
    Start later(folder.path(), arguments);
    EXPECT_EQ(later.nextLine(), "forwarded");
    EXPECT_EQ(later.finish(), 0);
    EXPECT_EQ(running.nextLine(), received);
  }
  Start launched(folder.path(), {"--discover"}, false, "launcher_TIME42");
  EXPECT_EQ(running.nextLine(), "action --discover [launcher_TIME42|token]");

  for (QLocalSocket* client : {&silent, &oversized})
    EXPECT_TRUE(client->state() == QLocalSocket::UnconnectedState || client->waitForDisconnected(3000));
  EXPECT_EQ(running.finish(), 0);
  EXPECT_EQ(running.readAllStandardOutput(), "") << "nothing else was delivered";
  EXPECT_FALSE(QFile::exists(socket)) << "a clean exit removes the socket";
}

// Starts released together after a kill find the same dead socket; the lock lets one replace
// it and the others reach that one.
TEST_F(SingleInstanceTest, StartsAtOnceAfterAKillMakeOneInstance) {
  for (int round = 0; round < 5; ++round) {
    Start killed(folder.path(), {});
    ASSERT_EQ(killed.nextLine(), "running");
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished() && QFile::exists(socket));
    std::vector<std::unique_ptr<Start>> starts;
    for (int i = 0; i < 4; ++i)
      starts.push_back(std::make_unique<Start>(folder.path(), QStringList{}, true));
    Start* running = releaseTogether(starts);
    ASSERT_NE(running, nullptr);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(running->nextLine(), "reopen [|]");
  }
}

// A copy that gives way to a later start ends; that start, and those that came with it, race for
// the lock as after a kill: one runs, and every other one hands its request to it. None is
// refused, and none is told its request was taken by the copy that ends. A drop's shortcut that
// comes first is served by that copy as ever.
TEST_F(SingleInstanceTest, StartsAtOnceAtACopyThatGivesWayMakeOneInstance) {
  for (int round = 0; round < 3; ++round) {
    Start yielding(folder.path(), {}, false, {}, true);
    ASSERT_EQ(yielding.nextLine(), "running");
    {
      Start shortcut(folder.path(), {"--dismiss"});
      EXPECT_EQ(shortcut.nextLine(), "forwarded");
      EXPECT_EQ(yielding.nextLine(), "action --dismiss [|]");
    }
    std::vector<std::unique_ptr<Start>> starts;
    for (const QStringList& arguments : {QStringList{}, QStringList{"--library"}, QStringList{"--dismiss"},
                                         QStringList{}, QStringList{"brindlewick:x"}, QStringList{"--show"}})
      starts.push_back(std::make_unique<Start>(folder.path(), arguments, true));
    Start* running = releaseTogether(starts);
    ASSERT_NE(running, nullptr);
    // The shortcut may reach it before a start it gives way to: it serves that one.
    std::size_t served = 0;
    for (QString line = yielding.nextLine(); line != "gave way"; line = yielding.nextLine()) {
      ASSERT_EQ(line, "action --dismiss [|]");
      ++served;
    }
    EXPECT_TRUE(yielding.waitForFinished(10000));
    for (std::size_t i = 1 + served; i < starts.size(); ++i)
      EXPECT_FALSE(running->nextLine().isEmpty()) << "a request taken was lost";
    EXPECT_EQ(running->finish(), 0);
  }
}

// A copy that closes the connection before it answers, and ends, had nothing to refuse: the start
// tries again, and runs in its place.
TEST_F(SingleInstanceTest, AStartWhoseCopyEndsUnderItRunsInItsPlace) {
  QLocalServer server;
  ASSERT_TRUE(server.listen(socket));
  QObject::connect(&server, &QLocalServer::newConnection, [&server] {
    QLocalSocket* client = server.nextPendingConnection();
    QObject::connect(client, &QLocalSocket::readyRead, [&server, client] {
      server.close();
      client->abort();
    });
  });
  Start later(folder.path(), {});
  QString first;
  EXPECT_TRUE(QTest::qWaitFor([&] { return later.canReadLine() && !(first = later.nextLine()).isEmpty(); }, 10000));
  EXPECT_EQ(first, "running") << later.readAllStandardError().toStdString();
  EXPECT_EQ(later.finish(), 0);
}

// A start whose request was not taken fails and says so: no false success, no second instance.
TEST_F(SingleInstanceTest, AStartFailsWhenTheRunningOneDoesNotTakeItsRequest) {
  for (const QByteArray& answer : {QByteArray(), QByteArray("refused\n"), QByteArray("yes\n")}) {
    QLocalServer server;
    ASSERT_TRUE(server.listen(socket));
    QObject::connect(&server, &QLocalServer::newConnection, [&server, answer] {
      QLocalSocket* client = server.nextPendingConnection();
      QObject::connect(client, &QLocalSocket::readyRead, [client, answer] { client->write(answer); });
    });
    Start later(folder.path(), {});
    EXPECT_TRUE(QTest::qWaitFor([&] { return later.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(later.exitCode(), 1);
    EXPECT_EQ(later.readAllStandardOutput(), "");
    EXPECT_TRUE(later.readAllStandardError().startsWith(
        "Brindlewick is already running but did not take this request: "));
  }
}

// What may stand where the socket or the lock goes (a dead socket: above): a file is replaced; a
// folder is not the program's to remove, and the start says where it is and what to do.
TEST_F(SingleInstanceTest, WhatStandsWhereTheSocketOrTheLockGoesIsReplacedOrNamed) {
  const QString lock = SingleInstance(folder.path()).lockPath();
  const QString folderText = QStringLiteral(
      "a folder is in the way there. Remove or rename that folder, then start Brindlewick again.");
  const struct {
    const char* name;
    QString path;
    bool folder;
    QString error; // none: the start runs
  } rows[] = {
      {"a plain file for the socket", socket, false, {}},
      {"a folder for the socket", socket, true,
       QStringLiteral("Could not listen for later starts at %1: ").arg(socket) + folderText},
      {"a folder for the lock", lock, true,
       QStringLiteral("Could not take the lock %1: ").arg(lock) + folderText},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.folder)
      ASSERT_TRUE(QDir(row.path).mkpath(QStringLiteral("kept")));
    else
      ASSERT_TRUE(QFile(row.path).open(QIODevice::WriteOnly));
    SingleInstance instance(folder.path());
    try {
      EXPECT_EQ(instance.start(LaunchRequest{}), SingleInstance::Role::running);
      EXPECT_TRUE(row.error.isEmpty()) << "the start went on";
    } catch (const SingleInstanceError& error) {
      EXPECT_EQ(error.description().toStdString(), row.error.toStdString());
    }
    if (row.folder) {
      EXPECT_TRUE(QFileInfo::exists(row.path + QStringLiteral("/kept")));
      QDir(row.path).removeRecursively();
    }
  }
}

} // namespace
