#include "LoginItemController.h"

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

struct ControllerCase {
  const char* name;
  bool enable;
  Status before;
  Status platformAfter;
  Outcome error;
  Status expectedStatus;
  Outcome expectedMessage;
};

class LoginItemAttempt : public ::testing::TestWithParam<ControllerCase> {};

TEST_P(LoginItemAttempt, ReReadsTheStatusAndSetsTheMessage) {
  const ControllerCase& c = GetParam();
  auto items = std::make_shared<ScriptedLoginItems>();
  items->current = c.before;
  LoginItemController controller(items);
  // A failure text from an earlier attempt stays until this one finishes.
  items->registerError = QStringLiteral("earlier");
  controller.setEnabled(true);
  ASSERT_EQ(controller.message(), failure + "earlier");
  items->registerError.reset();

  QSignalSpy statusChanges(&controller, &LoginItemController::statusChanged);
  items->afterRegister = c.platformAfter;
  if (c.enable)
    items->registerError = c.error;
  auto task = controller.setEnabled(c.enable);
  if (!c.enable)
    items->complete(0, c.error, c.platformAfter);
  settle(task);
  EXPECT_EQ(controller.status(), c.expectedStatus);
  EXPECT_EQ(controller.message(), c.expectedMessage);
  EXPECT_EQ(statusChanges.count(), c.before == c.expectedStatus ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, LoginItemAttempt,
    ::testing::Values(
        ControllerCase{"EnableNeedsApproval",
                       true,
                       Status::notRegistered,
                       Status::requiresApproval,
                       {},
                       Status::requiresApproval,
                       LoginItemController::approvalMessage},
        ControllerCase{
            "EnableSucceeds", true, Status::notRegistered, Status::enabled, {}, Status::enabled, {}},
        ControllerCase{"EnableFails", true, Status::notRegistered, Status::enabled,
                       QStringLiteral("disk full"), Status::notRegistered, failure + "disk full"},
        ControllerCase{
            "DisableSucceeds", false, Status::enabled, Status::notRegistered, {}, Status::notRegistered, {}},
        ControllerCase{"DisableFails", false, Status::enabled, Status::enabled, QStringLiteral("busy"),
                       Status::enabled, failure + "busy"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoginItemController, RefreshNotifiesOnlyWhenTheStatusChanges) {
  auto items = std::make_shared<ScriptedLoginItems>();
  items->current = Status::enabled;
  LoginItemController controller(items);
  EXPECT_EQ(controller.status(), Status::enabled);
  QSignalSpy statusChanges(&controller, &LoginItemController::statusChanged);
  controller.refresh();
  EXPECT_EQ(statusChanges.count(), 0);
  items->current = Status::notFound;
  controller.refresh();
  EXPECT_EQ(statusChanges.count(), 1);

  QSignalSpy messageChanges(&controller, &LoginItemController::messageChanged);
  settle(controller.setEnabled(true));
  settle(controller.setEnabled(true));
  EXPECT_EQ(messageChanges.count(), 0); // absent before and after
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
  LoginItemController controller(std::make_shared<XdgAutostartService>(folder(), program()));
  EXPECT_EQ(controller.status(), Status::notRegistered);
  settle(controller.setEnabled(true));
  EXPECT_EQ(controller.status(), Status::enabled);
  EXPECT_EQ(controller.message(), std::nullopt);
  EXPECT_EQ(XdgAutostartService::programOf(entry()), program());
  EXPECT_TRUE(entry().startsWith("[Desktop Entry]\nType=Application\nName=Brindlewick\n"));

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
  writeEntry(ours + "[Desktop Action Other]\nHidden=true\n");
  EXPECT_EQ(service.status(), Status::enabled);
  writeEntry(XdgAutostartService::entryText(QStringLiteral("/usr/bin/true")));
  EXPECT_EQ(service.status(), Status::notRegistered);
  writeEntry("[Desktop Entry]\nExec=\"" + program().toUtf8() + "\n");
  EXPECT_EQ(service.status(), Status::notRegistered); // unterminated quote
  EXPECT_EQ(XdgAutostartService(folder(), m_dir.filePath("missing")).status(), Status::notFound);
}

TEST_F(XdgAutostart, AnUnwritableFolderOrMissingProgramBecomesTheMessage) {
  ASSERT_TRUE(QDir().mkpath(m_dir.filePath("config")));
  QFile blocker(folder()); // a file where the folder should be
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  LoginItemController blocked(std::make_shared<XdgAutostartService>(folder(), program()));
  settle(blocked.setEnabled(true));
  EXPECT_EQ(blocked.status(), Status::notRegistered);
  EXPECT_EQ(blocked.message(), failure + "The autostart folder " + folder() + " could not be created.");

  LoginItemController lost(
      std::make_shared<XdgAutostartService>(m_dir.filePath("other"), m_dir.filePath("gone")));
  EXPECT_EQ(lost.status(), Status::notFound);
  settle(lost.setEnabled(true));
  EXPECT_EQ(lost.message(), failure + "The location of this program could not be found.");
}

TEST_F(XdgAutostart, AnEntryThatCannotBeReplacedOrRemovedBecomesTheMessage) {
  // A non-empty folder in the entry's place can be neither written over nor removed.
  const QString entryPath = QDir(folder()).filePath(XdgAutostartService::entryName);
  ASSERT_TRUE(QDir().mkpath(entryPath + "/inside"));
  LoginItemController controller(std::make_shared<XdgAutostartService>(folder(), program()));
  settle(controller.setEnabled(true));
  EXPECT_EQ(controller.status(), Status::notRegistered);
  ASSERT_TRUE(controller.message().has_value());
  EXPECT_TRUE(controller.message()->startsWith(failure + "The autostart entry " + entryPath +
                                               " could not be written ("))
      << controller.message()->toStdString();

  settle(controller.setEnabled(false));
  ASSERT_TRUE(controller.message().has_value());
  EXPECT_TRUE(controller.message()->startsWith(failure + "The autostart entry " + entryPath +
                                               " could not be removed ("))
      << controller.message()->toStdString();
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
    EXPECT_EQ(XdgAutostartService::programOf(XdgAutostartService::entryText(path)), path)
        << name.toStdString();
  }
}

} // namespace
