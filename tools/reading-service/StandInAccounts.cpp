#include "StandInAccounts.h"

#include "account/AccountContracts.h"
#include "foundation/Json.h"

#include <QJsonArray>

#include <algorithm>
#include <stdexcept>

namespace brindlewick {

namespace {

using AccountCoding::formatDate;
using StandInWire::quoted;
using namespace Qt::StringLiterals;

// Cursors name the change sequence of a page's last item. They deliberately hold characters
// that a query must escape, so that every paged fetch shows whether the client encodes them.
const QString cursorPrefix = QStringLiteral("after ");
const QString cursorSuffix = QStringLiteral(" +&=");

QString cursorAfter(quint64 sequence) {
  return cursorPrefix + QString::number(sequence) + cursorSuffix;
}

std::optional<quint64> sequenceOf(const QString& cursor) {
  if (!cursor.startsWith(cursorPrefix) || !cursor.endsWith(cursorSuffix)) {
    return std::nullopt;
  }
  const QStringView digits =
      QStringView(cursor).mid(cursorPrefix.size(), cursor.size() - cursorPrefix.size() - cursorSuffix.size());
  const bool allDigits = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                                          [](QChar c) { return c >= u'0' && c <= u'9'; });
  bool ok = false;
  const quint64 sequence = digits.toULongLong(&ok);
  if (!allDigits || !ok) {
    return std::nullopt;
  }
  return sequence;
}

QByteArray encodeItem(const StandInAccounts::Item& item, const QByteArray& snapshotJson) {
  const auto flag = [](bool value) { return value ? QByteArray("true") : QByteArray("false"); };
  const auto date = [](Date value) { return quoted(formatDate(value)); };
  QByteArray json = "{\"loreId\":" + quoted(item.snapshot.id()) + ",\"snapshot\":" + snapshotJson +
                    ",\"saved\":" + flag(item.saved) + ",\"loved\":" + flag(item.loved);
  if (item.savedAt) {
    json += ",\"savedAt\":" + date(*item.savedAt);
  }
  if (item.lovedAt) {
    json += ",\"lovedAt\":" + date(*item.lovedAt);
  }
  json += ",\"updatedAt\":" + date(item.updatedAt) + '}';
  return json;
}

} // namespace

StandInAccounts::StandInAccounts(NowSource now)
    : m_now(std::move(now)), m_random(QRandomGenerator::securelySeeded()) {}

void StandInAccounts::addReader(const Reader& reader) {
  m_accounts[reader.id].reader = reader;
  changed();
}

std::optional<StandInAccounts::Reader> StandInAccounts::reader(const QString& id) const {
  const Account* found = find(id);
  if (!found) {
    return std::nullopt;
  }
  return found->reader;
}

QString StandInAccounts::openSession(const QString& readerId) {
  return openSession(readerId, m_now().addingSeconds(sessionLifetime));
}

QString StandInAccounts::openSession(const QString& readerId, Date expiresAt) {
  if (!find(readerId)) {
    throw std::invalid_argument("stand-in: unknown reader");
  }
  const QString token = StandInWire::randomToken(m_random);
  m_sessions.insert(token, Session{token, readerId, expiresAt});
  changed();
  return token;
}

void StandInAccounts::revokeSession(const QString& token) {
  if (m_sessions.remove(token) > 0)
    changed();
}

std::optional<StandInAccounts::Session> StandInAccounts::authorize(const LoggedRequest& request) const {
  const auto token = request.bearerToken();
  if (!token) {
    return std::nullopt;
  }
  const auto session = m_sessions.constFind(*token);
  if (session == m_sessions.constEnd() || m_now() >= session->expiresAt || !find(session->readerId)) {
    return std::nullopt;
  }
  return *session;
}

void StandInAccounts::putItem(const QString& readerId, Item item) {
  Account& owner = account(readerId);
  take(owner, item.snapshot.id());
  QByteArray snapshotJson = Json::serialize(item.snapshot.toJson());
  append(owner, StoredItem{std::move(item), std::move(snapshotJson), {}});
  changed();
}

std::optional<StandInAccounts::Item> StandInAccounts::item(const QString& readerId,
                                                           const QString& loreId) const {
  const Account* owner = find(readerId);
  if (!owner) {
    return std::nullopt;
  }
  const auto sequence = owner->sequenceOf.constFind(loreId);
  if (sequence == owner->sequenceOf.constEnd()) {
    return std::nullopt;
  }
  return owner->items.at(*sequence).item;
}

QList<StandInAccounts::Item> StandInAccounts::items(const QString& readerId) const {
  QList<Item> list;
  if (const Account* owner = find(readerId)) {
    for (const auto& [sequence, stored] : owner->items) {
      list.append(stored.item);
    }
  }
  return list;
}

StandInAccounts::Metrics StandInAccounts::metrics(const QString& readerId) const {
  const Account* owner = find(readerId);
  return owner ? owner->metrics : Metrics{};
}

QByteArray StandInAccounts::setFlag(const QString& readerId, const QString& loreId, Flag flag, bool value,
                                    const std::optional<DropSnapshot>& snapshot) {
  Account& owner = account(readerId);
  std::optional<StoredItem> stored = take(owner, loreId);
  if (!stored) {
    if (!snapshot) {
      throw std::invalid_argument("stand-in: no snapshot for a drop the account does not hold");
    }
    stored.emplace(StoredItem{Item{*snapshot}, Json::serialize(snapshot->toJson()), {}});
  }
  Item& changed = stored->item;
  const Date now = m_now();
  bool& flagValue = flag == Flag::saved ? changed.saved : changed.loved;
  std::optional<Date>& flagDate = flag == Flag::saved ? changed.savedAt : changed.lovedAt;
  if (!value) {
    flagDate.reset();
  } else if (!flagValue) {
    flagDate = now;
  }
  flagValue = value;
  changed.updatedAt = now;
  stored->json = encodeItem(changed, stored->snapshotJson);
  const QByteArray standing = stored->json;
  if (changed.saved || changed.loved) {
    append(owner, std::move(*stored));
  }
  this->changed();
  return standing;
}

std::optional<QByteArray> StandInAccounts::itemsPage(const QString& readerId,
                                                     const std::optional<QString>& cursor) const {
  static const std::map<quint64, StoredItem> none;
  const Account* owner = find(readerId);
  const std::map<quint64, StoredItem>& all = owner ? owner->items : none;
  auto next = all.begin();
  if (cursor) {
    const auto after = sequenceOf(*cursor);
    if (!after) {
      return std::nullopt;
    }
    next = all.upper_bound(*after);
  }
  QByteArray page = "{\"items\":[";
  for (int count = 0; next != all.end() && count < m_pageSize; ++count, ++next) {
    if (count > 0) {
      page += ',';
    }
    page += next->second.json;
  }
  page += ']';
  if (next != all.end()) {
    page += ",\"nextCursor\":" + quoted(cursorAfter(std::prev(next)->first));
  }
  page += '}';
  return page;
}

StandInAccounts::Settings StandInAccounts::settings(const QString& readerId) const {
  const Account* owner = find(readerId);
  return owner ? owner->settings : Settings{};
}

void StandInAccounts::setPreferences(const QString& readerId, const ReaderPreferences& preferences) {
  store(account(readerId), preferences);
  changed();
}

std::optional<StandInAccounts::Settings>
StandInAccounts::savePreferences(const QString& readerId, const ReaderPreferences& preferences,
                                 qint64 expectedVersion) {
  Account& owner = account(readerId);
  if (owner.settings.version != expectedVersion) {
    return std::nullopt;
  }
  store(owner, preferences);
  changed();
  return owner.settings;
}

void StandInAccounts::recordRead(const QString& readerId, const QString& activityId) {
  Account& owner = account(readerId);
  if (!owner.readings.contains(activityId)) {
    owner.readings.insert(activityId);
    ++owner.metrics.readCount;
    changed();
  }
}

StandInAccounts::Account& StandInAccounts::account(const QString& readerId) {
  const auto found = m_accounts.find(readerId);
  if (found == m_accounts.end()) {
    throw std::invalid_argument("stand-in: unknown reader");
  }
  return *found;
}

const StandInAccounts::Account* StandInAccounts::find(const QString& readerId) const {
  const auto found = m_accounts.constFind(readerId);
  return found == m_accounts.constEnd() ? nullptr : &*found;
}

std::optional<StandInAccounts::StoredItem> StandInAccounts::take(Account& owner, const QString& loreId) {
  const auto sequence = owner.sequenceOf.find(loreId);
  if (sequence == owner.sequenceOf.end()) {
    return std::nullopt;
  }
  auto node = owner.items.extract(*sequence);
  owner.sequenceOf.erase(sequence);
  StoredItem& stored = node.mapped();
  owner.metrics.savedCount -= stored.item.saved ? 1 : 0;
  owner.metrics.lovedCount -= stored.item.loved ? 1 : 0;
  return std::move(stored);
}

void StandInAccounts::append(Account& owner, StoredItem stored) {
  owner.metrics.savedCount += stored.item.saved ? 1 : 0;
  owner.metrics.lovedCount += stored.item.loved ? 1 : 0;
  if (stored.json.isEmpty()) {
    stored.json = encodeItem(stored.item, stored.snapshotJson);
  }
  const quint64 sequence = owner.nextSequence++;
  owner.sequenceOf.insert(stored.item.snapshot.id(), sequence);
  owner.items.emplace_hint(owner.items.end(), sequence, std::move(stored));
}

void StandInAccounts::store(Account& owner, const ReaderPreferences& preferences) {
  ReaderPreferences kept = preferences;
  kept.preferredDisplayID.reset(); // the display belongs to the computer, never to the account
  owner.settings.preferences = std::move(kept);
  ++owner.settings.version;
  if (!preferences.analyticsConsent) {
    owner.metrics.readCount = 0;
    owner.readings.clear();
  }
}

namespace {

QJsonValue dateJson(const std::optional<Date>& date) {
  return date ? QJsonValue(date->secondsSinceReference()) : QJsonValue();
}

std::optional<Date> dateFrom(const QJsonValue& value) {
  if (value.isNull())
    return std::nullopt;
  if (!value.isDouble())
    throw std::invalid_argument("stand-in state: a date is not a number");
  return Date(value.toDouble());
}

Date requiredDate(const QJsonValue& value) {
  const std::optional<Date> date = dateFrom(value);
  if (!date)
    throw std::invalid_argument("stand-in state: a date is missing");
  return *date;
}

QString text(const QJsonObject& object, QLatin1StringView key) {
  const QJsonValue value = object.value(key);
  if (!value.isString())
    throw std::invalid_argument(std::string("stand-in state: ") + key.data() + " is not a string");
  return value.toString();
}

} // namespace

QJsonObject StandInAccounts::toJson() const {
  QJsonArray readers;
  for (const Account& account : m_accounts) {
    QJsonArray items;
    for (const auto& [sequence, stored] : account.items) {
      const Item& item = stored.item;
      items.append(QJsonObject{{"snapshot"_L1, item.snapshot.toJson()},
                               {"saved"_L1, item.saved},
                               {"loved"_L1, item.loved},
                               {"savedAt"_L1, dateJson(item.savedAt)},
                               {"lovedAt"_L1, dateJson(item.lovedAt)},
                               {"updatedAt"_L1, item.updatedAt.secondsSinceReference()}});
    }
    QStringList readings(account.readings.begin(), account.readings.end());
    readings.sort();
    const Reader& reader = account.reader;
    readers.append(QJsonObject{{"id"_L1, reader.id},
                               {"name"_L1, reader.name},
                               {"email"_L1, reader.email},
                               {"image"_L1, reader.image ? QJsonValue(*reader.image) : QJsonValue()},
                               {"items"_L1, items},
                               {"preferences"_L1, account.settings.preferences
                                                      ? QJsonValue(account.settings.preferences->toJson())
                                                      : QJsonValue()},
                               {"preferencesVersion"_L1, double(account.settings.version)},
                               {"readings"_L1, QJsonArray::fromStringList(readings)}});
  }
  QJsonArray sessions;
  for (const Session& session : m_sessions) {
    sessions.append(QJsonObject{{"token"_L1, session.token},
                                {"readerId"_L1, session.readerId},
                                {"expiresAt"_L1, session.expiresAt.secondsSinceReference()}});
  }
  return {{"readers"_L1, readers}, {"sessions"_L1, sessions}};
}

void StandInAccounts::restore(const QJsonObject& state) {
  // Everything is read into a fresh copy first: a document that fails halfway changes nothing.
  StandInAccounts restored(m_now);
  for (const QJsonValue& readerValue : state.value("readers"_L1).toArray()) {
    const QJsonObject object = readerValue.toObject();
    const QJsonValue image = object.value("image"_L1);
    Account& account = restored.m_accounts[text(object, "id"_L1)];
    account.reader = Reader{text(object, "id"_L1), text(object, "name"_L1), text(object, "email"_L1),
                            image.isString() ? std::optional(image.toString()) : std::nullopt};
    for (const QJsonValue& itemValue : object.value("items"_L1).toArray()) {
      const QJsonObject item = itemValue.toObject();
      DropSnapshot snapshot = DropSnapshot::fromJson(item.value("snapshot"_L1));
      QByteArray snapshotJson = Json::serialize(snapshot.toJson());
      restored.append(
          account,
          StoredItem{Item{std::move(snapshot), item.value("saved"_L1).toBool(),
                          item.value("loved"_L1).toBool(), dateFrom(item.value("savedAt"_L1)),
                          dateFrom(item.value("lovedAt"_L1)), requiredDate(item.value("updatedAt"_L1))},
                     std::move(snapshotJson),
                     {}});
    }
    const QJsonValue preferences = object.value("preferences"_L1);
    if (!preferences.isNull())
      account.settings.preferences = ReaderPreferences::fromJson(preferences);
    account.settings.version = qint64(object.value("preferencesVersion"_L1).toDouble());
    for (const QJsonValue& reading : object.value("readings"_L1).toArray())
      account.readings.insert(reading.toString());
    account.metrics.readCount = account.readings.size();
  }
  for (const QJsonValue& sessionValue : state.value("sessions"_L1).toArray()) {
    const QJsonObject object = sessionValue.toObject();
    const Session session{text(object, "token"_L1), text(object, "readerId"_L1),
                          requiredDate(object.value("expiresAt"_L1))};
    if (!restored.find(session.readerId))
      throw std::invalid_argument("stand-in state: a session of an unknown reader");
    restored.m_sessions.insert(session.token, session);
  }
  m_accounts = std::move(restored.m_accounts);
  m_sessions = std::move(restored.m_sessions);
}

void StandInAccounts::changed() const {
  if (m_onChange)
    m_onChange();
}

} // namespace brindlewick
