#pragma once

#include "foundation/Date.h"
#include "foundation/Json.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <concepts>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace brindlewick {

// How a value type travels through the store as JSON. A record plugs in by declaring
//   static T fromJson(const QJsonValue& value);   // throws on anything it does not accept
//   QJsonValue toJson() const;                    // (or a QJsonObject)
// or, as the content records do, `static T decode(const QJsonValue&)` and `encode() const`.
// Types that cannot carry members (strings, dates, maps) specialise JsonCoding instead.
template <typename T> struct JsonCoding;

template <typename T>
concept HasFromJson = requires(const QJsonValue& json, const T& value) {
  { T::fromJson(json) } -> std::convertible_to<T>;
  { value.toJson() } -> std::convertible_to<QJsonValue>;
};

template <typename T>
concept HasDecode = requires(const QJsonValue& json, const T& value) {
  { T::decode(json) } -> std::convertible_to<T>;
  { value.encode() } -> std::convertible_to<QJsonValue>;
};

template <HasFromJson T> struct JsonCoding<T> {
  static T decode(const QJsonValue& json) { return T::fromJson(json); }
  static QJsonValue encode(const T& value) { return value.toJson(); }
};

template <HasDecode T>
requires(!HasFromJson<T>) struct JsonCoding<T> {
  static T decode(const QJsonValue& json) { return T::decode(json); }
  static QJsonValue encode(const T& value) { return value.encode(); }
};

template <> struct JsonCoding<QString> {
  static QString decode(const QJsonValue& json) { return Json::toString(json, {}); }
  static QJsonValue encode(const QString& value) { return value; }
};

template <> struct JsonCoding<Date> {
  static Date decode(const QJsonValue& json) { return Json::toDate(json, {}); }
  static QJsonValue encode(Date value) { return value.toJson(); }
};

template <typename T>
concept JsonCodable = requires(const QJsonValue& json, const T& value) {
  { JsonCoding<T>::decode(json) } -> std::convertible_to<T>;
  { JsonCoding<T>::encode(value) } -> std::convertible_to<QJsonValue>;
};

// Throws the error of a value read inside a container as the container's: `at` (a key or
// "[i]") goes before the value's own path.
[[noreturn]] inline void rethrowWithin(const QString& at, const JsonDecodingError& error) {
  throw JsonDecodingError(error.path().isEmpty() ? at : Json::child(at, error.path()), error.problem());
}

// A JSON object keyed by identifiers, such as drop id → date.
template <JsonCodable V> struct JsonCoding<QMap<QString, V>> {
  static QMap<QString, V> decode(const QJsonValue& json) {
    const QJsonObject object = Json::toObject(json, {});
    QMap<QString, V> result;
    for (auto it = object.begin(); it != object.end(); ++it) {
      try {
        result.insert(it.key(), JsonCoding<V>::decode(it.value()));
      } catch (const JsonDecodingError& error) {
        rethrowWithin(it.key(), error);
      }
    }
    return result;
  }
  static QJsonValue encode(const QMap<QString, V>& map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
      object.insert(it.key(), JsonCoding<V>::encode(it.value()));
    return object;
  }
};

// A JSON array of values, in order.
template <JsonCodable V> struct JsonCoding<QList<V>> {
  static QList<V> decode(const QJsonValue& json) {
    const QJsonArray array = Json::toArray(json, {});
    QList<V> result;
    result.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
      try {
        result.append(JsonCoding<V>::decode(array.at(i)));
      } catch (const JsonDecodingError& error) {
        rethrowWithin(Json::element({}, i), error);
      }
    }
    return result;
  }
  static QJsonValue encode(const QList<V>& list) {
    QJsonArray array;
    for (const V& value : list)
      array.append(JsonCoding<V>::encode(value));
    return array;
  }
};

// A failure of the database under the store: it carries SQLite's own message and, when one
// key was concerned, that key.
class LocalStoreError : public std::exception {
public:
  LocalStoreError(QString message, QString key, QString databaseMessage);

  const QString& message() const { return m_message; }
  const QString& key() const { return m_key; }
  const QString& databaseMessage() const { return m_databaseMessage; }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_message;
  QString m_key;
  QString m_databaseMessage;
  QByteArray m_what;
};

// The persistent key/value store of JSON records (one SQLite file). Every write, of one key
// or many, is a single transaction: a batch lands whole or not at all, even when the process
// dies in the middle of it. The store never deletes, recreates or repairs a file it cannot
// read; it reports the problem and leaves the file as it found it.
//
// Confined to the thread that created it, like the Qt SQL connection it owns.
class LocalStore {
public:
  // The file holds one table of (key TEXT PRIMARY KEY NOT NULL, payload BLOB NOT NULL).
  static constexpr const char* tableName = "records";

  // A given file path wins; otherwise `inMemory` keeps everything in memory and touches no
  // file; otherwise the store lives at defaultFilePath(), whose folders are created as needed
  // (the store's own folder for the reader alone). The file and SQLite's files beside it are
  // the reader's alone (0600), also when an earlier version left them open.
  explicit LocalStore(bool inMemory = false, const std::optional<QString>& filePath = std::nullopt);
  ~LocalStore();

  LocalStore(const LocalStore&) = delete;
  LocalStore& operator=(const LocalStore&) = delete;

  // app.brindlewick/Brindlewick.store under the user's data directory ($XDG_DATA_HOME).
  static QString defaultFilePath();

  std::optional<QByteArray> data(const QString& key) const;

  // None when the key is absent; a payload that does not decode as T throws the decoder's error.
  template <JsonCodable T> std::optional<T> load(const QString& key) const {
    const std::optional<QByteArray> bytes = data(key);
    if (!bytes)
      return std::nullopt;
    return JsonCoding<T>::decode(Json::parse(*bytes));
  }

  // Every entry whose key starts with `prefix` (case-sensitive, character for character), in
  // no particular order. The first payload that does not decode makes the whole call throw.
  template <JsonCodable T> std::vector<std::pair<QString, T>> entries(const QString& prefix) const {
    std::vector<std::pair<QString, T>> result;
    const std::vector<std::pair<QString, QByteArray>> raw = entryData(prefix);
    result.reserve(raw.size());
    for (const auto& [key, bytes] : raw)
      result.emplace_back(key, JsonCoding<T>::decode(Json::parse(bytes)));
    return result;
  }

  // Encodes first, so a value that cannot be encoded leaves the store untouched.
  template <JsonCodable T> void save(const T& value, const QString& key) {
    commit({{key, encoded(JsonCoding<T>::encode(value), key)}}, {});
  }

  void remove(const QString& key);

  // Deletes every key of `removing`, then writes every update, in one transaction. A key named
  // in both ends up present with its new payload. On any failure nothing of the batch remains.
  void commit(const QMap<QString, QByteArray>& updates, const QStringList& removing);

  // The payloads of entries(), undecoded: for a caller that decodes each record on its own
  // and must say which key failed.
  std::vector<std::pair<QString, QByteArray>> entryData(const QString& prefix) const;

private:
  static void makeFilesPrivate(const QString& file);

  struct Connection;
  std::unique_ptr<Connection> m_connection;

  // The JSON text of a value to be stored under `key`. A number that is not finite has no JSON
  // form (Qt would write null, which no reader accepts back), so it fails here, before the store
  // is touched.
  static QByteArray encoded(const QJsonValue& value, const QString& key);
};

} // namespace brindlewick
