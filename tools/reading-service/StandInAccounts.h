#pragma once

#include "StandInHttp.h"
#include "content/ContentSnapshots.h"
#include "delivery/Preferences.h"
#include "foundation/Date.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace brindlewick {

// The readers the stand-in knows and their accounts: sessions, saved and loved items,
// preferences with their version, and the readings they reported. In memory, on the clock it
// is given; the stand-in program keeps the whole of it in its state folder (toJson(),
// restore(), told of every change). Every change costs the same whatever the size of the account: items are
// found by hash, kept in change order, and each keeps its encoded form.
class StandInAccounts {
public:
  struct Reader {
    QString id;
    QString name;
    QString email;
    std::optional<QString> image = std::nullopt;
  };

  struct Session {
    QString token;
    QString readerId;
    Date expiresAt;
  };

  // One saved or loved drop, as the items routes send it.
  struct Item {
    DropSnapshot snapshot;
    bool saved = false;
    bool loved = false;
    std::optional<Date> savedAt = std::nullopt;
    std::optional<Date> lovedAt = std::nullopt;
    Date updatedAt = {};
  };

  struct Metrics {
    qint64 savedCount = 0;
    qint64 lovedCount = 0;
    qint64 readCount = 0;
  };

  struct Settings {
    std::optional<ReaderPreferences> preferences;
    qint64 version = 0;
  };

  enum class Flag { saved, loved };

  // Of a session opened without an end of its own.
  static constexpr double sessionLifetime = 30 * 86400.0;
  static constexpr int defaultPageSize = 200;

  explicit StandInAccounts(NowSource now = systemNow);

  // Adds a reader with an empty account, or renames a known one (its account stays).
  void addReader(const Reader& reader);
  std::optional<Reader> reader(const QString& id) const;

  // Opens a session for a known reader (throws std::invalid_argument for an unknown one) and
  // returns its bearer token: random, so no token is ever a part of another.
  QString openSession(const QString& readerId);
  QString openSession(const QString& readerId, Date expiresAt);
  void revokeSession(const QString& token);
  // The open, unexpired session of the request's bearer token.
  std::optional<Session> authorize(const LoggedRequest& request) const;

  // Puts an item into a known reader's account as if it had just changed: it replaces the
  // item of that drop and goes to the end. No flag is required here, so a test can seed an
  // item that the routes would forget.
  void putItem(const QString& readerId, Item item);
  std::optional<Item> item(const QString& readerId, const QString& loreId) const;
  // The items in the order the items routes send them.
  QList<Item> items(const QString& readerId) const;
  Metrics metrics(const QString& readerId) const;

  // Sets or clears one flag and its date, stamps updatedAt and moves the item to the end; an
  // item with both flags cleared is forgotten. `snapshot` makes the item when the account
  // does not hold the drop. Returns the item as it now stands, encoded.
  QByteArray setFlag(const QString& readerId, const QString& loreId, Flag flag, bool value,
                     const std::optional<DropSnapshot>& snapshot);

  void setPageSize(int items) { m_pageSize = items; }
  // {"items": …, "nextCursor": …} from the start, or after an opaque cursor of an earlier
  // page; nothing when the cursor is not one the stand-in made.
  std::optional<QByteArray> itemsPage(const QString& readerId, const std::optional<QString>& cursor) const;

  Settings settings(const QString& readerId) const;
  // Stores preferences as another computer would, raising the version by one. Preferences
  // without analytics consent forget the readings reported so far.
  void setPreferences(const QString& readerId, const ReaderPreferences& preferences);
  // The same, only while the account's version is `expectedVersion`; nothing otherwise.
  std::optional<Settings> savePreferences(const QString& readerId, const ReaderPreferences& preferences,
                                          qint64 expectedVersion);

  // Counts a reading once per activity id.
  void recordRead(const QString& readerId, const QString& activityId);

  // Everything held (readers, sessions, items in their order, preferences, readings) as one
  // JSON object, and back: restore() replaces all that is held, or throws (Json's and the
  // content records' errors, std::invalid_argument) and keeps it when the object cannot be read.
  QJsonObject toJson() const;
  void restore(const QJsonObject& state);
  // Runs after every change of what toJson() writes.
  void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

private:
  struct StoredItem {
    Item item;
    QByteArray snapshotJson;
    QByteArray json;
  };
  struct Account {
    Reader reader;
    std::map<quint64, StoredItem> items; // by change sequence: the items' order
    QHash<QString, quint64> sequenceOf;  // drop id -> key in `items`
    quint64 nextSequence = 1;
    Metrics metrics;
    Settings settings;
    QSet<QString> readings;
  };

  Account& account(const QString& readerId);
  const Account* find(const QString& readerId) const;
  // Takes the drop's item out of the account, uncounted; nothing when it holds none.
  std::optional<StoredItem> take(Account& account, const QString& loreId);
  // Counts the item and appends it, encoded.
  void append(Account& account, StoredItem stored);
  void store(Account& account, const ReaderPreferences& preferences);
  void changed() const;

  NowSource m_now;
  QRandomGenerator m_random;
  QHash<QString, Account> m_accounts;
  QHash<QString, Session> m_sessions;
  int m_pageSize = defaultPageSize;
  std::function<void()> m_onChange;
};

} // namespace brindlewick
