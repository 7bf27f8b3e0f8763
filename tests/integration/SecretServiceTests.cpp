#include "desktop/KeychainStorage.h"

#include "AsyncProbe.h"
#include "SecureStorageContract.h"
#include "StandInAccount.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// These tests only ever run inside tests/support/with-secret-service.sh, which gives them a
// private keyring; run on their own they skip rather than write to the caller's keyring.
class SecretService : public testing::Test {
protected:
  void SetUp() override {
    const QByteArray state = qgetenv("BRINDLEWICK_SECRET_SERVICE");
    if (state == "missing" || state.isEmpty())
      GTEST_SKIP() << "no private Secret Service: run through tests/support/with-secret-service.sh with "
                      "gnome-keyring and dbus installed (scripts/install-deps)";
    ASSERT_EQ(state, "running") << "gnome-keyring-daemon is installed but did not start";
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    ASSERT_TRUE(QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.secrets")))
        << "the Secret Service is not on the private bus";
  }

  // Bounded so that a stuck daemon fails the test instead of holding it.
  KeychainStorage storage{QStringLiteral("app.brindlewick.credentials"), 5.0};
};

TEST_F(SecretService, KeepsTheSecureStorageContract) {
  SecureStorageContract::check(storage, QStringLiteral("test."));
}

TEST_F(SecretService, ASecretOutlivesItsStoreAndStaysInItsService) {
  const QString account = QStringLiteral("reader.session.v1.round-trip");
  const QByteArray secret = QByteArrayLiteral("{\"token\":\"t\",\"userID\":\"u\",\"revoked\":false}");
  ASSERT_FALSE(finishTask(storage.write(secret, account)).error);

  KeychainStorage reopened(QStringLiteral("app.brindlewick.credentials"), 5.0);
  EXPECT_EQ(finishTask(reopened.read(account)).value, std::make_optional(std::make_optional(secret)));
  KeychainStorage otherService(QStringLiteral("app.brindlewick.other"), 5.0);
  EXPECT_EQ(finishTask(otherService.read(account)).value, std::make_optional(std::optional<QByteArray>()));

  ASSERT_FALSE(finishTask(reopened.remove(account)).error);
  EXPECT_EQ(finishTask(storage.read(account)).value, std::make_optional(std::optional<QByteArray>()));
}

TEST_F(SecretService, ABrowserSignInIsKeptInTheKeyringUntilSignOut) {
  StandInAccount account(storage);
  account.service.grants().setAutoApproveAfter(0);
  const auto controller = account.open();
  SignInDriver driver;
  ASSERT_EQ(failureText(signIn(*controller, account.harness, driver).error), QString());
  const std::optional<QByteArray> stored = finishTask(storage.read(account.credentialKey())).get();
  ASSERT_TRUE(stored);
  EXPECT_TRUE(account.open()->isSignedIn()) << "a restart finds the session in the keyring";

  EXPECT_FALSE(finishTask(controller->signOut()).error);
  EXPECT_EQ(finishTask(storage.read(account.credentialKey())).get(), std::nullopt);
  EXPECT_FALSE(account.open()->hasStoredSession());
  EXPECT_TRUE(account.cacheRecord(SessionCredential::fromJson(*stored).token))
      << "sign-out keeps the cache record";
}

} // namespace
