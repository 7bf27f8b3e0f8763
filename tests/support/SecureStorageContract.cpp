#include "SecureStorageContract.h"

#include "AsyncProbe.h"

#include <gtest/gtest.h>

namespace brindlewick::SecureStorageContract {

namespace {

std::optional<QByteArray> read(SecureStorage& storage, const QString& account) {
  const auto outcome = finishTask(storage.read(account));
  if (const auto error = outcome.errorAs<KeychainError>())
    ADD_FAILURE() << "read " << account.toStdString() << ": " << error->what();
  return outcome.value.value_or(std::nullopt);
}

void write(SecureStorage& storage, const QByteArray& data, const QString& account) {
  const auto outcome = finishTask(storage.write(data, account));
  if (const auto error = outcome.errorAs<KeychainError>())
    ADD_FAILURE() << "write " << account.toStdString() << ": " << error->what();
  EXPECT_TRUE(outcome.value.has_value());
}

void remove(SecureStorage& storage, const QString& account) {
  const auto outcome = finishTask(storage.remove(account));
  if (const auto error = outcome.errorAs<KeychainError>())
    ADD_FAILURE() << "remove " << account.toStdString() << ": " << error->what();
  EXPECT_TRUE(outcome.value.has_value());
}

} // namespace

void checkMissingEntry(SecureStorage& storage, const QString& prefix) {
  const QString account = prefix + QStringLiteral("never-written");
  EXPECT_EQ(read(storage, account), std::nullopt);
  remove(storage, account);
  EXPECT_EQ(read(storage, account), std::nullopt);
}

void checkWriteThenUpdate(SecureStorage& storage, const QString& prefix) {
  const QString account = prefix + QStringLiteral("session");
  const QString neighbour = prefix + QStringLiteral("Session");
  const QByteArray first = QByteArrayLiteral("{\"token\":\"first\"}");
  const QByteArray binary("\0\xff\xfe secret\n\x80", 12);

  write(storage, first, account);
  EXPECT_EQ(read(storage, account), first);
  EXPECT_EQ(read(storage, neighbour), std::nullopt) << "account names are case-sensitive";

  write(storage, binary, account);
  EXPECT_EQ(read(storage, account), binary);

  write(storage, first, neighbour);
  write(storage, QByteArray(), account);
  EXPECT_EQ(read(storage, account), QByteArray());
  EXPECT_EQ(read(storage, neighbour), first);

  remove(storage, account);
  remove(storage, neighbour);
}

void checkRemove(SecureStorage& storage, const QString& prefix) {
  const QString account = prefix + QStringLiteral("removed");
  const QString kept = prefix + QStringLiteral("kept");
  write(storage, QByteArrayLiteral("gone"), account);
  write(storage, QByteArrayLiteral("stays"), kept);
  remove(storage, account);
  EXPECT_EQ(read(storage, account), std::nullopt);
  EXPECT_EQ(read(storage, kept), QByteArrayLiteral("stays"));
  remove(storage, account);
  remove(storage, kept);
  EXPECT_EQ(read(storage, kept), std::nullopt);
}

} // namespace brindlewick::SecureStorageContract
