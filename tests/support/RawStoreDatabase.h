#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace brindlewick {

// A second, plain SQLite connection to a store file, for what the store and its users must
// never do themselves: installing a failing trigger, checking the file's integrity, reading
// every record as stored. Failures are reported to the running test.
class RawStoreDatabase {
public:
  // Read-only for a store that a running program owns: the file is neither created nor changed.
  enum class Access { readWrite, readOnly };

  explicit RawStoreDatabase(const QString& path, Access access = Access::readWrite);
  ~RawStoreDatabase();

  RawStoreDatabase(const RawStoreDatabase&) = delete;
  RawStoreDatabase& operator=(const RawStoreDatabase&) = delete;

  // Runs one statement and returns the first column of its first row, if any.
  QString scalar(const QString& statement);
  // Every record of the store's table, key → payload.
  QMap<QString, QByteArray> records();

private:
  QString m_name;
};

} // namespace brindlewick
