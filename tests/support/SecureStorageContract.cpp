#include "SecureStorageContract.h"

#include "AsyncProbe.h"

#include <gtest/gtest.h>

namespace brindlewick::SecureStorageContract {

namespace {

template <typename T> T expectSuccess(QCoro::Task<T> task, const char* operation, const QString& account) {
  const auto outcome = finishTask(std::move(task));
  if (!outcome.finished) {
    ADD_FAILURE() << operation << " " << account.toStdString() << " did not finish";
  } else if (outcome.error) {
    // Any failure counts, not the keyring's alone: another one would otherwise read as "nothing
    // stored" below.
    try {
      std::rethrow_exception(outcome.error);
    } catch (const std::exception& error) {
      ADD_FAILURE() << operation << " " << account.toStdString() << ": " << error.what();
    } catch (...) {
      ADD_FAILURE() << operation << " " << account.toStdString() << ": an exception of an unknown type";
    }
  }
  if constexpr (!std::is_void_v<T>) {
    return outcome.value.value_or(T());
  }
}

std::optional<QByteArray> read(SecureStorage& storage, const QString& account) {
  return expectSuccess(storage.read(account), "read", account);
}
void write(SecureStorage& storage, const QByteArray& data, const QString& account) {
  expectSuccess(storage.write(data, account), "write", account);
}
void remove(SecureStorage& storage, const QString& account) {
  expectSuccess(storage.remove(account), "remove", account);
}

} // namespace

void check(SecureStorage& storage, const QString& prefix) {
  const QString account = prefix + QStringLiteral("session");
  const QString neighbour = prefix + QStringLiteral("Session");
  const QByteArray first = QByteArrayLiteral("{\"token\":\"first\"}");
  const QByteArray binary("\0\xff\xfe secret\n\x80", 12);

  EXPECT_EQ(read(storage, account), std::nullopt);
  remove(storage, account);

  write(storage, first, account);
  EXPECT_EQ(read(storage, account), first);
  EXPECT_EQ(read(storage, neighbour), std::nullopt) << "account names are case-sensitive";
  write(storage, binary, account);
  EXPECT_EQ(read(storage, account), binary);
  write(storage, first, neighbour);
  write(storage, QByteArray(), account);
  EXPECT_EQ(read(storage, account), QByteArray());

  remove(storage, account);
  EXPECT_EQ(read(storage, account), std::nullopt);
  EXPECT_EQ(read(storage, neighbour), first);
  remove(storage, account);
  remove(storage, neighbour);
  EXPECT_EQ(read(storage, neighbour), std::nullopt);
}

} // namespace brindlewick::SecureStorageContract
