#include "InMemorySecureStorage.h"

#include "AsyncProbe.h"
#include "SecureStorageContract.h"

#include <gtest/gtest.h>

using namespace brindlewick;

// The account tests stand on this store: it must behave as the keyring does, failures included.
TEST(InMemorySecureStorage, KeepsTheContractAndAFailureChangesNothing) {
  InMemorySecureStorage storage;
  SecureStorageContract::check(storage, QStringLiteral("test."));
  EXPECT_TRUE(storage.items().isEmpty());

  storage.setItem(QStringLiteral("kept"), QByteArrayLiteral("old"));
  storage.setFailure(-25308);
  EXPECT_EQ(
      finishTask(storage.write(QByteArrayLiteral("new"), QStringLiteral("kept"))).errorAs<KeychainError>(),
      KeychainError(-25308));
  EXPECT_EQ(finishTask(storage.remove(QStringLiteral("kept"))).errorAs<KeychainError>(),
            KeychainError(-25308));
  EXPECT_EQ(finishTask(storage.read(QStringLiteral("kept"))).errorAs<KeychainError>(), KeychainError(-25308));
  storage.setFailure(std::nullopt);
  EXPECT_EQ(storage.items().value(QStringLiteral("kept")), QByteArrayLiteral("old"));
  EXPECT_EQ(storage.calls().mid(storage.calls().size() - 3),
            QStringList(
                {QStringLiteral("write kept"), QStringLiteral("remove kept"), QStringLiteral("read kept")}));
}
