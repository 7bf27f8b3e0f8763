#include "InMemorySecureStorage.h"

#include "SecureStorageContract.h"
#include "AsyncProbe.h"

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

TEST(InMemorySecureStorage, KeepsTheSecureStorageContract) {
  InMemorySecureStorage storage;
  SecureStorageContract::checkMissingEntry(storage, QStringLiteral("test."));
  SecureStorageContract::checkWriteThenUpdate(storage, QStringLiteral("test."));
  SecureStorageContract::checkRemove(storage, QStringLiteral("test."));
  EXPECT_TRUE(storage.items().isEmpty());
}

TEST(InMemorySecureStorage, AFailureChangesNothingAndEveryCallIsRecorded) {
  InMemorySecureStorage storage;
  storage.setItem(QStringLiteral("kept"), QByteArrayLiteral("old"));
  storage.setFailure(-25308);

  const auto write = finishTask(storage.write(QByteArrayLiteral("new"), QStringLiteral("kept")));
  const auto remove = finishTask(storage.remove(QStringLiteral("kept")));
  const auto read = finishTask(storage.read(QStringLiteral("kept")));
  for (const auto& error :
       {write.errorAs<KeychainError>(), remove.errorAs<KeychainError>(), read.errorAs<KeychainError>()}) {
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->status(), -25308);
  }
  EXPECT_EQ(storage.items().value(QStringLiteral("kept")), QByteArrayLiteral("old"));

  storage.setFailure(std::nullopt);
  EXPECT_EQ(finishTask(storage.read(QStringLiteral("kept"))).value,
            std::make_optional(std::make_optional(QByteArrayLiteral("old"))));
  EXPECT_EQ(storage.calls(), QStringList({QStringLiteral("write kept"), QStringLiteral("remove kept"),
                                          QStringLiteral("read kept"), QStringLiteral("read kept")}));
}

} // namespace
