#include "StandInAccounts.h"

#include "account/AccountContracts.h"
#include "foundation/Json.h"

#include <algorithm>
#include <stdexcept>

namespace brindlewick {

namespace {

using AccountCoding::formatDate;
using StandInWire::quoted;

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
  return token;
}

void StandInAccounts::revokeSession(const QString& token) {
  m_sessions.remove(token);
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
}

std::optional<StandInAccounts::Settings>
StandInAccounts::savePreferences(const QString& readerId, const ReaderPreferences& preferences,
                                 qint64 expectedVersion) {
  Account& owner = account(readerId);
  if (owner.settings.version != expectedVersion) {
    return std::nullopt;
  }
  store(owner, preferences);
  return owner.settings;
}

void StandInAccounts::recordRead(const QString& readerId, const QString& activityId) {
  Account& owner = account(readerId);
  if (!owner.readings.contains(activityId)) {
    owner.readings.insert(activityId);
    ++owner.metrics.readCount;
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

} // namespace brindlewick
