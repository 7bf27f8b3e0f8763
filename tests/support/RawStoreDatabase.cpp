#include "RawStoreDatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

namespace brindlewick {

namespace {
int connectionCounter = 0;
}

RawStoreDatabase::RawStoreDatabase(const QString& path, Access access)
    : m_name(QStringLiteral("raw-store-%1").arg(++connectionCounter)) {
  QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
  database.setDatabaseName(path);
  if (access == Access::readOnly)
    database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
  EXPECT_TRUE(database.open()) << database.lastError().text().toStdString();
}

RawStoreDatabase::~RawStoreDatabase() {
  QSqlDatabase::database(m_name).close();
  QSqlDatabase::removeDatabase(m_name);
}

QString RawStoreDatabase::scalar(const QString& statement) {
  QSqlQuery query(QSqlDatabase::database(m_name));
  EXPECT_TRUE(query.exec(statement)) << query.lastError().text().toStdString();
  return query.next() ? query.value(0).toString() : QString();
}

QMap<QString, QByteArray> RawStoreDatabase::records() {
  QSqlQuery query(QSqlDatabase::database(m_name));
  EXPECT_TRUE(query.exec(QStringLiteral("SELECT key, payload FROM records")))
      << query.lastError().text().toStdString();
  QMap<QString, QByteArray> result;
  while (query.next())
    result.insert(query.value(0).toString(), query.value(1).toByteArray());
  return result;
}

} // namespace brindlewick
