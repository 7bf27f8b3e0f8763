#include "desktop/KeychainStorage.h"

#include "AsyncProbe.h"
#include "desktop/LoginKeyring.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

// The real keyring as a reader without one, or with a locked one, meets it. Each fixture runs
// inside tests/support/with-secret-service.sh (see tests/CMakeLists.txt) and skips elsewhere
// rather than touch the caller's keyring.
class KeyringFailure : public testing::Test {
protected:
  void requireBus(const char* state) {
    const QByteArray given = qgetenv("BRINDLEWICK_SECRET_SERVICE");
    if (given == "missing" || given.isEmpty())
      GTEST_SKIP()
          << "no private session bus: run through tests/support/with-secret-service.sh with dbus and "
             "gnome-keyring installed (scripts/install-deps)";
    ASSERT_EQ(given, state);
  }

  std::optional<KeychainError> failedWrite() {
    return finishTask(storage.write(QByteArrayLiteral("secret"), QStringLiteral("reader.session.v1.failure")))
        .errorAs<KeychainError>();
  }

  // A write, a read and a removal each fail with `text`.
  void expectEveryRequestToFailWith(const char* text) {
    const QString account = QStringLiteral("reader.session.v1.failure");
    for (const std::optional<KeychainError>& error :
         {failedWrite(), finishTask(storage.read(account)).errorAs<KeychainError>(),
          finishTask(storage.remove(account)).errorAs<KeychainError>()}) {
      ASSERT_TRUE(error);
      EXPECT_STREQ(error->what(), text);
    }
  }

  // The program's start reads the credential: it stops there, and says why.
  static void expectTheStartToFailWith(const QProcessEnvironment& environment, const QByteArray& text) {
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), {});
    QByteArray errors;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          errors += program.readAllStandardError();
          return errors.contains("initialization failed: " + text);
        },
        20000))
        << errors.toStdString();
    program.kill();
    program.waitForFinished();
  }

  KeychainStorage storage{QStringLiteral("app.brindlewick.credentials"), 5.0};
};

class NoSecretService : public KeyringFailure {
  void SetUp() override { requireBus("absent"); }
};

class LockedKeyring : public KeyringFailure {
  void SetUp() override { requireBus("running"); }
};

TEST_F(NoSecretService, EveryRequestSaysThatNoKeyringAnswersAndWhatToInstall) {
  expectEveryRequestToFailWith(
      "Secure storage is unavailable: no keyring service (Secret Service) answers on the session bus. "
      "Install and start gnome-keyring or KWallet, log in again, then start Brindlewick again. No "
      "credentials were discarded.");
}

// A terminal left from an earlier login names a session bus that is gone, whatever keyring runs
// on the desktop's own: the start names that bus, without its guid, which tells the reader
// nothing, and where to start instead.
TEST_F(NoSecretService, AStartOnABusThatIsGoneSaysSoAndWhereToStartInstead) {
  const QTemporaryDir ended;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=%1/bus,guid=5c1e0d7a"_s.arg(ended.path()));
  const QString text =
      u"Secure storage is unavailable: the session bus at unix:path=%1/bus cannot be reached, "
      "so no keyring can answer. Start Brindlewick from your desktop's own session, or from a "
      "new terminal in it. No credentials were discarded."_s.arg(ended.path());
  expectTheStartToFailWith(environment, text.toUtf8());
}

// Locked, the keyring asks for its password through a prompt, which CTest keeps off every
// screen (DISPLAY is empty), as a reader who dismisses it does. Asked through that refused
// prompt, the keyring answers a read with "not found" and a removal with success, the item
// still there: every request says the keyring is locked, and nothing stored is lost.
TEST_F(LockedKeyring, EveryRequestSaysTheKeyringIsLockedAndKeepsWhatItHolds) {
  ASSERT_TRUE(qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
      << "run through CTest: the prompt would show here";
  ASSERT_FALSE(failedWrite()) << "the keyring takes a write while unlocked";
  ASSERT_EQ(LoginKeyring::lock(), QString());

  expectEveryRequestToFailWith("Secure storage is unavailable: the system keyring is locked. Unlock it (your "
                               "login password usually opens it), then try again. No credentials were "
                               "discarded.");

  // The start stops there, rather than greet a newcomer.
  expectTheStartToFailWith(QProcessEnvironment::systemEnvironment(),
                           "Secure storage is unavailable: the system keyring stayed locked or did not "
                           "answer, so Brindlewick could not read your sign-in.");

  ASSERT_EQ(LoginKeyring::unlock(), QString());
  EXPECT_EQ(finishTask(storage.read(u"reader.session.v1.failure"_s)).value,
            std::make_optional(std::make_optional("secret"_ba)));
}

} // namespace
