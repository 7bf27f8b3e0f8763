#include "content/LocalStore.h"

#include "foundation/PrivateFiles.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace brindlewick {

LocalStoreError::LocalStoreError(QString message, QString key, QString databaseMessage)
    : m_message(std::move(message)), m_key(std::move(key)), m_databaseMessage(std::move(databaseMessage)),
      m_what(m_message.toUtf8()) {}

namespace {

QString quoted(const QString& key) {
  return QLatin1Char('"') + key + QLatin1Char('"');
}

// Qt binds a null QString or QByteArray as SQL NULL, which the NOT NULL columns refuse;
// an empty key or payload is a legitimate value, so it is bound as an empty one.
QVariant keyText(const QString& value) {
  return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}
QVariant bytes(const QByteArray& value) {
  return value.isNull() ? QVariant(QByteArray("", 0)) : QVariant(value);
}

// The smallest byte string above every UTF-8 string that starts with `prefix`: valid UTF-8
// never holds the byte 0xFF, so raising the last byte by one is always possible. SQLite
// compares TEXT byte by byte, so [prefix, upper) selects exactly the keys with that prefix,
// case-sensitively and with no wildcard characters, and the key index serves the range.
QByteArray upperBound(const QString& prefix) {
  QByteArray upper = prefix.toUtf8();
  upper.back() = static_cast<char>(static_cast<unsigned char>(upper.back()) + 1);
  return upper;
}

// SQLite's own words when it gave any, Qt's otherwise (for instance "Driver not loaded").
QString reason(const QSqlError& error) {
  return error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
}

[[noreturn]] void fail(const QString& message, const QString& key, const QSqlError& error) {
  throw LocalStoreError(message + QStringLiteral(": ") + reason(error), key, reason(error));
}

std::atomic<quint64> connectionCounter{0};

// Statements bind by name: QSqlResult builds a placeholder name for every value bound by
// position, which made a large batch half as slow again as SQLite alone.
const QString keyPlaceholder = QStringLiteral(":key");
const QString payloadPlaceholder = QStringLiteral(":payload");
const QString upperPlaceholder = QStringLiteral(":upper");

} // namespace

struct LocalStore::Connection {
  QString name;
  QString location; // file path, or ":memory:"
  QSqlDatabase database;
  std::optional<QSqlQuery> begin, commit, rollback, select, selectAll, selectRange, upsert, erase;

  Connection(QString connectionName, QString databaseLocation)
      : name(std::move(connectionName)), location(std::move(databaseLocation)),
        database(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name)) {}

  ~Connection() {
    for (auto* query : {&begin, &commit, &rollback, &select, &selectAll, &selectRange, &upsert, &erase})
      query->reset();
    database.close();
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
  }

  [[noreturn]] void failOpening(const QString& what, const QSqlError& error) const {
    fail(QStringLiteral("Could not %1 the local store at %2").arg(what, location), QString(), error);
  }

  void run(const QString& statement, const QString& what) {
    QSqlQuery query(database);
    if (!query.exec(statement))
      failOpening(what, query.lastError());
  }

  QSqlQuery prepare(const QString& statement) {
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
      failOpening(QStringLiteral("prepare"), query.lastError());
    return query;
  }

  void open() {
    database.setDatabaseName(location);
    if (!database.open())
      failOpening(QStringLiteral("open"), database.lastError());
    // Read the file before anything could write to it: a file that is not a database, or a
    // damaged one, fails here and is left exactly as it was.
    run(QStringLiteral("SELECT count(*) FROM sqlite_schema"), QStringLiteral("read"));
    // WAL with full sync: a commit is durable once it returns, and a process killed in the
    // middle of one leaves the previous state on the next open.
    run(QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("prepare"));
    run(QStringLiteral("PRAGMA synchronous=FULL"), QStringLiteral("prepare"));
    // Each value is read whole, once, and decoded by its owner: pages kept after that only
    // hold memory (up to 2 MB by default, with a large release). 256 KiB keeps the table's
    // interior pages and a write's working set.
    run(QStringLiteral("PRAGMA cache_size=-256"), QStringLiteral("prepare"));
    run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY NOT NULL, payload BLOB NOT NULL)")
            .arg(QLatin1String(tableName)),
        QStringLiteral("prepare"));

    const QString table = QLatin1String(tableName);
    begin = prepare(QStringLiteral("BEGIN IMMEDIATE"));
    commit = prepare(QStringLiteral("COMMIT"));
    rollback = prepare(QStringLiteral("ROLLBACK"));
    select = prepare(QStringLiteral("SELECT payload FROM %1 WHERE key = :key").arg(table));
    selectAll = prepare(QStringLiteral("SELECT key, payload FROM %1").arg(table));
    selectRange =
        prepare(QStringLiteral("SELECT key, payload FROM %1 WHERE key >= :key AND key < CAST(:upper AS TEXT)")
                    .arg(table));
    upsert = prepare(QStringLiteral("INSERT INTO %1 (key, payload) VALUES (:key, :payload) "
                                    "ON CONFLICT (key) DO UPDATE SET payload = excluded.payload")
                         .arg(table));
    erase = prepare(QStringLiteral("DELETE FROM %1 WHERE key = :key").arg(table));
  }
};

LocalStore::LocalStore(bool inMemory, const std::optional<QString>& filePath) {
  QString location;
  if (filePath) {
    location = *filePath;
  } else if (inMemory) {
    location = QStringLiteral(":memory:");
  } else {
    location = defaultFilePath();
    const QString folder = QFileInfo(location).absolutePath();
    if (const std::optional<QString> problem = PrivateFiles::makePrivateFolder(folder))
      throw LocalStoreError(
          QStringLiteral("Could not create the folder %1 for the local store: %2").arg(folder, *problem),
          QString(), *problem);
  }
  if (!inMemory || filePath)
    makeFilesPrivate(location);
  m_connection = std::make_unique<Connection>(
      QStringLiteral("brindlewick-local-store-%1").arg(connectionCounter.fetch_add(1)), location);
  m_connection->open();
}

LocalStore::~LocalStore() = default;

void LocalStore::makeFilesPrivate(const QString& file) {
  // SQLite gives its -wal, -shm and -journal files the database file's mode, so a database
  // made private first keeps them private too. One left open by an earlier version is
  // tightened with them. Nothing here can fail the opening: SQLite reports what is wrong.
  PrivateFiles::createPrivateFile(file);
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    PrivateFiles::tighten(file + QLatin1String(suffix));
}

QString LocalStore::defaultFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/app.brindlewick/Brindlewick.store");
}

std::optional<QByteArray> LocalStore::data(const QString& key) const {
  QSqlQuery& query = *m_connection->select;
  query.bindValue(keyPlaceholder, keyText(key));
  std::optional<QByteArray> result;
  if (query.exec() && query.next())
    result = query.value(0).toByteArray();
  // next() returns false both for no row and on a read error; only the error sets lastError.
  const QSqlError error = query.lastError();
  query.finish();
  if (error.isValid())
    fail(QStringLiteral("Could not read %1 from the local store").arg(quoted(key)), key, error);
  return result;
}

std::vector<std::pair<QString, QByteArray>> LocalStore::entryData(const QString& prefix) const {
  QSqlQuery& query = prefix.isEmpty() ? *m_connection->selectAll : *m_connection->selectRange;
  if (!prefix.isEmpty()) {
    query.bindValue(keyPlaceholder, keyText(prefix));
    query.bindValue(upperPlaceholder, upperBound(prefix));
  }
  std::vector<std::pair<QString, QByteArray>> result;
  if (query.exec())
    while (query.next())
      result.emplace_back(query.value(0).toString(), query.value(1).toByteArray());
  const QSqlError error = query.lastError();
  query.finish();
  if (error.isValid())
    fail(QStringLiteral("Could not read the entries under %1 from the local store").arg(quoted(prefix)),
         prefix, error);
  return result;
}

QByteArray LocalStore::encoded(const QJsonValue& value, const QString& key) {
  try {
    return Json::serialize(value);
  } catch (const JsonEncodingError& error) {
    throw LocalStoreError(
        QStringLiteral("Could not write %1 to the local store: %2").arg(quoted(key), error.description()),
        key, QString());
  }
}

void LocalStore::remove(const QString& key) {
  commit({}, {key});
}

void LocalStore::commit(const QMap<QString, QByteArray>& updates, const QStringList& removing) {
  Connection& connection = *m_connection;
  if (!connection.begin->exec())
    fail(QStringLiteral("Could not start saving to the local store"), QString(),
         connection.begin->lastError());
  try {
    // Deletions first, so a key that is also updated ends up present with its new payload.
    for (const QString& key : removing) {
      connection.erase->bindValue(keyPlaceholder, keyText(key));
      if (!connection.erase->exec())
        fail(QStringLiteral("Could not remove %1 from the local store").arg(quoted(key)), key,
             connection.erase->lastError());
    }
    for (auto it = updates.begin(); it != updates.end(); ++it) {
      connection.upsert->bindValue(keyPlaceholder, keyText(it.key()));
      connection.upsert->bindValue(payloadPlaceholder, bytes(it.value()));
      if (!connection.upsert->exec())
        fail(QStringLiteral("Could not write %1 to the local store").arg(quoted(it.key())), it.key(),
             connection.upsert->lastError());
    }
    if (!connection.commit->exec())
      fail(QStringLiteral("Could not save to the local store"), QString(), connection.commit->lastError());
  } catch (...) {
    // Whatever stopped the batch (a failed statement, or memory running out while binding), the
    // transaction must not stay open: later reads on this connection would see the half batch.
    // SQLite may already have rolled back on its own (after an I/O error); a failing ROLLBACK
    // then only says there is no transaction, and the first error is the one to report.
    connection.rollback->exec();
    throw;
  }
}

} // namespace brindlewick
