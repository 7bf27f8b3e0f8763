#include "FileModes.h"
#include "desktop/LoginItemController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <qcoro/qcorofuture.h>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

using Status = LoginItemStatus;
using Outcome = std::optional<QString>;

// The desktop's side, scripted: registering answers at once, unregistering waits until the
// test completes it.
class ScriptedLoginItems : public LoginItemService {
public:
  Status current = Status::notRegistered;
  Status afterRegister = Status::enabled;
  Outcome registerError;
  std::vector<std::shared_ptr<QPromise<Outcome>>> pendingRemovals;

  Status status() const override { return current; }
  Outcome registerItem() override {
    if (!registerError)
      current = afterRegister;
    return registerError;
  }
  QCoro::Task<Outcome> unregisterItem() override {
    auto promise = std::make_shared<QPromise<Outcome>>();
    promise->start();
    pendingRemovals.push_back(promise);
    co_return co_await promise->future();
  }
  void complete(std::size_t index, Outcome error, Status statusAfter) {
    current = statusAfter;
    pendingRemovals.at(index)->addResult(error);
    pendingRemovals.at(index)->finish();
  }
};

// Runs queued events until the task is done; no clock is involved.
void settle(const QCoro::Task<void>& task) {
  for (int round = 0; round < 1000 && !task.isReady(); ++round)
    QCoreApplication::processEvents();
  ASSERT_TRUE(task.isReady());
}

const QString failure = QStringLiteral("Could not update launch at login: ");

// Each attempt starts after a failed one, whose text stays until the attempt finishes.
TEST(LoginItemController, ReReadsTheStatusAndSetsTheMessageAfterEveryAttempt) {
  struct Case {
    bool enable;
    Status before;
    Status platformAfter;
    Outcome error;
    Status expectedStatus;
    Outcome expectedMessage;
  };
  const Case cases[] = {
      {true,
       Status::notRegistered,
       Status::requiresApproval,
       {},
       Status::requiresApproval,
       LoginItemController::approvalMessage},
      {true, Status::notRegistered, Status::enabled, "disk full", Status::notRegistered,
       failure + "disk full"},
      {false, Status::enabled, Status::notRegistered, {}, Status::notRegistered, {}},
      {false, Status::enabled, Status::enabled, "busy", Status::enabled, failure + "busy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    auto items = std::make_shared<ScriptedLoginItems>();
    items->current = c.before;
    LoginItemController controller(items);
    items->registerError = QStringLiteral("earlier");
    controller.setEnabled(true);
    items->registerError = c.enable ? c.error : std::nullopt;
    items->afterRegister = c.platformAfter;

    QSignalSpy statusChanges(&controller, &LoginItemController::statusChanged);
    auto task = controller.setEnabled(c.enable);
    EXPECT_EQ(controller.message(), c.enable ? c.expectedMessage : failure + "earlier");
    if (!c.enable)
      items->complete(0, c.error, c.platformAfter);
    settle(task);
    EXPECT_EQ(controller.status(), c.expectedStatus);
    EXPECT_EQ(controller.message(), c.expectedMessage);
    EXPECT_EQ(statusChanges.count(), c.before == c.expectedStatus ? 0 : 1);
  }
}

TEST(LoginItemController, OverlappingRequestsLeaveTheLastToFinish) {
  auto items = std::make_shared<ScriptedLoginItems>();
  items->current = Status::enabled;
  LoginItemController controller(items);
  auto first = controller.setEnabled(false);
  auto second = controller.setEnabled(false);
  ASSERT_EQ(items->pendingRemovals.size(), 2u);

  items->complete(1, {}, Status::notRegistered);
  settle(second);
  EXPECT_FALSE(first.isReady());
  EXPECT_EQ(controller.status(), Status::notRegistered);
  EXPECT_EQ(controller.message(), std::nullopt);

  // An enable finishes at once while the first removal is still under way...
  auto third = controller.setEnabled(true);
  EXPECT_TRUE(third.isReady());
  EXPECT_EQ(controller.status(), Status::enabled);
  // ...and the removal, finishing last, has the last word.
  items->complete(0, QStringLiteral("gone away"), Status::enabled);
  settle(first);
  EXPECT_EQ(controller.status(), Status::enabled);
  EXPECT_EQ(controller.message(), failure + "gone away");
}

TEST(LoginItemController, ARemovalFinishingAfterTheControllerIsGoneTouchesNothing) {
  auto items = std::make_shared<ScriptedLoginItems>();
  items->current = Status::enabled;
  auto controller = std::make_unique<LoginItemController>(items);
  auto task = controller->setEnabled(false);
  controller.reset();
  items->complete(0, {}, Status::notRegistered);
  settle(task);
}

class XdgAutostart : public ::testing::Test {
protected:
  QString folder() const { return m_dir.filePath(QStringLiteral("config/autostart")); }
  QString program() const { return QCoreApplication::applicationFilePath(); }
  QByteArray entry() const {
    QFile file(QDir(folder()).filePath(XdgAutostartService::entryName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  void writeEntry(const QByteArray& text) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    QFile file(QDir(folder()).filePath(XdgAutostartService::entryName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  QTemporaryDir m_dir;
};

TEST_F(XdgAutostart, EnablingWritesAnEntryForThisProgramAndDisablingRemovesIt) {
  const FileModes::ScopedUmask narrowUmask(077);
  LoginItemController controller(std::make_shared<XdgAutostartService>(folder(), program()));
  EXPECT_EQ(controller.status(), Status::notRegistered);
  settle(controller.setEnabled(true));
  EXPECT_EQ(controller.status(), Status::enabled);
  EXPECT_EQ(controller.message(), std::nullopt);
  EXPECT_EQ(XdgAutostartService::programOf(entry()), program());
  EXPECT_TRUE(entry().startsWith("[Desktop Entry]\nType=Application\nName=Brindlewick\n"));
  // Not private: the desktop's usual mode, whatever umask the program runs under.
  EXPECT_EQ(FileModes::modeOf(QDir(folder()).filePath(XdgAutostartService::entryName)), 0644);

  settle(controller.setEnabled(false));
  EXPECT_EQ(controller.status(), Status::notRegistered);
  EXPECT_FALSE(QFile::exists(QDir(folder()).filePath(XdgAutostartService::entryName)));
  settle(controller.setEnabled(false)); // nothing left to remove is no failure
  EXPECT_EQ(controller.message(), std::nullopt);
}

TEST_F(XdgAutostart, AnEntryCountsOnlyWhenVisibleAndStartingThisProgram) {
  XdgAutostartService service(folder(), program());
  const QByteArray ours = XdgAutostartService::entryText(program());
  writeEntry(ours + "Hidden=true\n");
  EXPECT_EQ(service.status(), Status::notRegistered);
  writeEntry(QByteArray(ours).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
  EXPECT_EQ(service.status(), Status::notRegistered);
  writeEntry(ours + "[Desktop Action Other]\nHidden=true\n");
  EXPECT_EQ(service.status(), Status::enabled);
  writeEntry(XdgAutostartService::entryText(QStringLiteral("/usr/bin/true")));
  EXPECT_EQ(service.status(), Status::notRegistered);
  writeEntry("[Desktop Entry]\nExec=\"" + program().toUtf8() + "\n");
  EXPECT_EQ(service.status(), Status::notRegistered); // unterminated quote
  EXPECT_EQ(XdgAutostartService(folder(), m_dir.filePath("missing")).status(), Status::notFound);
}

TEST_F(XdgAutostart, EveryFailureBecomesTheMessage) {
  const auto failureAfter = [](LoginItemController& controller, bool enable) {
    settle(controller.setEnabled(enable));
    return controller.message().value_or(QStringLiteral("(none)"));
  };
  LoginItemController lost(
      std::make_shared<XdgAutostartService>(m_dir.filePath("other"), m_dir.filePath("gone")));
  EXPECT_EQ(lost.status(), Status::notFound);
  EXPECT_EQ(failureAfter(lost, true), failure + "The location of this program could not be found.");

  ASSERT_TRUE(QDir().mkpath(m_dir.filePath("config")));
  QFile blocker(folder()); // a file where the folder should be
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  LoginItemController blocked(std::make_shared<XdgAutostartService>(folder(), program()));
  EXPECT_EQ(failureAfter(blocked, true),
            failure + "The autostart folder " + folder() + " could not be created.");
  EXPECT_EQ(blocked.status(), Status::notRegistered);

  // A non-empty folder in the entry's place can be neither written over nor removed.
  ASSERT_TRUE(blocker.remove());
  const QString entryPath = QDir(folder()).filePath(XdgAutostartService::entryName);
  ASSERT_TRUE(QDir().mkpath(entryPath + "/inside"));
  LoginItemController occupied(std::make_shared<XdgAutostartService>(folder(), program()));
  EXPECT_TRUE(failureAfter(occupied, true)
                  .startsWith(failure + "The autostart entry " + entryPath + " could not be written ("));
  EXPECT_EQ(occupied.status(), Status::notRegistered);
  EXPECT_TRUE(failureAfter(occupied, false)
                  .startsWith(failure + "The autostart entry " + entryPath + " could not be removed ("));
  EXPECT_TRUE(QFileInfo(entryPath).isDir());
}

TEST_F(XdgAutostart, ProgramPathsSurviveTheEntrysQuoting) {
  for (const QString& name :
       {QStringLiteral("plain"), QStringLiteral("with space"), QStringLiteral("q\"uote"),
        QStringLiteral("$HOME`x`"), QStringLiteral("back\\slash"), QStringLiteral("100%d")}) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    XdgAutostartService service(m_dir.filePath(QStringLiteral("autostart-") + QString::number(qHash(name))),
                                path);
    ASSERT_EQ(service.registerItem(), std::nullopt);
    EXPECT_EQ(service.status(), Status::enabled) << name.toStdString();
  }
  // Quoted as an argument, then escaped as a string value; a percent sign is doubled.
  EXPECT_TRUE(XdgAutostartService::entryText(QStringLiteral(R"(/a b/q"u$x`y\z%d)"))
                  .contains(R"(Exec="/a b/q\\"u\\$x\\`y\\\\z%%d")"
                            "\n"));
}

} // namespace
