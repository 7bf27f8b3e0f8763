#include "content/ContentRepository.h"

#include "foundation/Json.h"

#include <QJsonObject>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace brindlewick {

namespace {

namespace Key {
const QString release = QStringLiteral("release");
const QString manifest = QStringLiteral("manifest");
const QString manifestETag = QStringLiteral("manifest-etag");
const QString withdrawals = QStringLiteral("withdrawals");
const QString arrivals = QStringLiteral("arrivals");
const QString seen = QStringLiteral("seen");
const QString ledger = QStringLiteral("ledger");
const QString savedPrefix = QStringLiteral("saved/");
const QString lovedPrefix = QStringLiteral("loved/");
const QString historyPrefix = QStringLiteral("history/");
} // namespace Key

QString messageOf(const std::exception& error) {
  return QString::fromUtf8(error.what());
}

// Runs one read of the loading sequence; any failure becomes a StoredRecordError naming `key`.
template <typename Read> auto reading(const QString& key, Read&& read) -> decltype(read()) {
  try {
    return read();
  } catch (const StoredRecordError&) {
    throw;
  } catch (const std::exception& error) {
    throw StoredRecordError(key, messageOf(error), std::current_exception());
  }
}

// Every record under `prefix`, decoded as T, newest first by `dateOf` (a stable sort on the
// date alone).
template <typename T, typename DateOf>
QList<T> loadList(const LocalStore& store, const QString& prefix, DateOf dateOf) {
  // Each record is decoded on its own, so that a failure names its key.
  const auto entries = reading(prefix, [&] { return store.entryData(prefix); });
  QList<T> list;
  list.reserve(static_cast<qsizetype>(entries.size()));
  for (const auto& [key, bytes] : entries)
    list.append(reading(key, [&] { return T::fromJson(Json::parse(bytes)); }));
  std::stable_sort(list.begin(), list.end(), [&](const T& a, const T& b) { return dateOf(a) > dateOf(b); });
  return list;
}

template <typename V> QHash<QString, V> loadMap(const LocalStore& store, const QString& key) {
  const auto map = reading(key, [&] { return store.load<QMap<QString, V>>(key); });
  QHash<QString, V> result;
  if (!map)
    return result;
  result.reserve(map->size());
  for (auto it = map->begin(); it != map->end(); ++it)
    result.insert(it.key(), it.value());
  return result;
}

// JSON has no spelling for NaN or an infinity: such a date would be written as null and the
// record could never be read again, so it is refused before anything is computed or written.
void requireStorable(Date at) {
  if (!std::isfinite(at.secondsSinceReference()))
    throw std::invalid_argument("A date that is not a finite number of seconds cannot be stored");
}

// Assigns `value` and says whether the property changed, so that the change signals can be
// emitted once every property of an operation holds its new value.
template <typename T> bool assign(T& property, T value) {
  if (property == value)
    return false;
  property = std::move(value);
  return true;
}

template <typename V> QByteArray encodeMap(const QHash<QString, V>& map) {
  // A JSON object keeps its keys sorted and inserting elsewhere than at the end moves every
  // later key: inserting in key order keeps an install of 10000 arrivals linear.
  QStringList keys = map.keys();
  std::sort(keys.begin(), keys.end());
  QJsonObject object;
  for (const QString& key : keys)
    object.insert(key, JsonCoding<V>::encode(map.value(key)));
  return Json::serialize(object);
}

} // namespace

// ---------------------------------------------------------------------------------------------

ContentError::ContentError(Case errorCase) : m_case(errorCase), m_what(message().toUtf8()) {}

QString ContentError::message() const {
  switch (m_case) {
  case Case::previewNotEnabled:
    return QStringLiteral("Development content is available only in an explicit debug preview.");
  case Case::missingFixture: return QStringLiteral("The development fixture resource is missing.");
  case Case::emptySelection:
    return QStringLiteral("No other drop matches your interests. Try Surprise Me or sync new content.");
  }
  return {};
}

StoredRecordError::StoredRecordError(QString key, QString reason, std::exception_ptr original)
    : m_key(std::move(key)), m_reason(std::move(reason)), m_original(std::move(original)),
      m_what(message().toUtf8()) {}

QString StoredRecordError::message() const {
  return QStringLiteral("The stored record \"%1\" could not be read: %2").arg(m_key, m_reason);
}

// ---------------------------------------------------------------------------------------------

ContentRepository::ContentRepository(LocalStore& store, QString appVersion, bool allowDevelopment,
                                     QObject* parent)
    : QObject(parent), m_store(store), m_appVersion(std::move(appVersion)),
      m_allowDevelopment(allowDevelopment) {
  load();
}

ContentRepository::~ContentRepository() = default;

void ContentRepository::load() {
  // The order is fixed: the first record that fails ends construction, so the same store
  // always reports the same record.
  if (std::optional<QByteArray> bytes = reading(Key::release, [&] { return m_store.data(Key::release); })) {
    m_release = reading(Key::release, [&] {
      return ContractValidation::decodeRelease(*bytes, m_allowDevelopment, m_appVersion);
    });
  }
  m_saved =
      loadList<SavedSnapshot>(m_store, Key::savedPrefix, [](const SavedSnapshot& s) { return s.savedAt; });
  m_loved =
      loadList<SavedSnapshot>(m_store, Key::lovedPrefix, [](const SavedSnapshot& s) { return s.savedAt; });
  m_history =
      loadList<HistoryEntry>(m_store, Key::historyPrefix, [](const HistoryEntry& e) { return e.shownAt; });
  m_ledger = reading(Key::ledger, [&] {
               return m_store.load<ScheduleLedger>(Key::ledger);
             }).value_or(ScheduleLedger());
  m_withdrawals = loadMap<QString>(m_store, Key::withdrawals);
  m_seen = loadMap<Date>(m_store, Key::seen);
  m_arrivals = loadMap<Date>(m_store, Key::arrivals);
  m_manifestETag = reading(Key::manifestETag, [&] { return m_store.load<QString>(Key::manifestETag); });
  if (const auto bytes = reading(Key::manifest, [&] { return m_store.data(Key::manifest); }))
    m_manifest = reading(Key::manifest, [&] { return ContentManifest::decode(Json::parse(*bytes)); });
  if (m_release)
    m_selectionIndex = SelectionIndex(m_release->lore, m_withdrawals, m_arrivals);
}

// ---------------------------------------------------------------------------------------------
// Installation

void ContentRepository::install(const QByteArray& data, const ContentManifest& manifest,
                                const std::optional<QString>& etag, Date at) {
  requireStorable(at);
  ContentRelease release = ContractValidation::validateRelease(data, manifest, m_appVersion);
  replaceCache(data, std::move(release), manifest, etag, at);
}

void ContentRepository::replaceCache(const QByteArray& data, ContentRelease release,
                                     const std::optional<ContentManifest>& manifest,
                                     const std::optional<QString>& etag, Date at) {
  // Withdrawals accumulate across releases; a drop that this release carries is no longer
  // withdrawn.
  QHash<QString, QString> withdrawals = m_withdrawals;
  for (const Withdrawal& withdrawal : release.withdrawals)
    withdrawals.insert(withdrawal.loreId, withdrawal.reason);
  for (const Drop& drop : release.lore)
    withdrawals.remove(drop.id);

  // The very first installation on this computer dates every drop to the distant past, so
  // that none of them counts as newer than another; later ones date only their newcomers.
  const Date base = m_arrivals.isEmpty() ? Date::distantPast() : at;
  QHash<QString, Date> arrivals;
  arrivals.reserve(release.lore.size());
  for (const Drop& drop : release.lore) {
    const auto it = m_arrivals.constFind(drop.id);
    arrivals.insert(drop.id, it == m_arrivals.constEnd() ? base : it.value());
  }

  QMap<QString, QByteArray> updates;
  QStringList removing;
  updates.insert(Key::release, data);
  updates.insert(Key::withdrawals, encodeMap(withdrawals));
  updates.insert(Key::arrivals, encodeMap(arrivals));
  if (etag)
    updates.insert(Key::manifestETag, Json::serialize(QJsonValue(*etag)));
  else
    removing.append(Key::manifestETag);
  if (manifest)
    updates.insert(Key::manifest, Json::serialize(manifest->encode()));
  else
    removing.append(Key::manifest);
  SelectionIndex selectionIndex(release.lore, withdrawals, arrivals);
  // Equal bytes decode to equal releases: only different bytes need the whole comparison. The
  // installed bytes are read back for it, not kept in memory between installs.
  std::optional<QByteArray> installed;
  if (m_release) {
    try {
      installed = m_store.data(Key::release);
    } catch (const std::exception&) {
      // The whole comparison decides instead.
    }
  }
  m_store.commit(updates, removing);

  const bool releaseDiffers = !m_release || (installed != data && !(*m_release == release));
  m_release = std::move(release);
  m_selectionIndex = std::move(selectionIndex);
  const bool withdrawalsDiffer = assign(m_withdrawals, std::move(withdrawals));
  const bool arrivalsDiffer = assign(m_arrivals, std::move(arrivals));
  const bool etagDiffers = assign(m_manifestETag, etag);
  const bool manifestDiffers = assign(m_manifest, manifest);
  // Observers hear of the installation only once the whole library is consistent again: a
  // slot that reads the new release already sees its withdrawals.
  if (releaseDiffers)
    Q_EMIT releaseChanged();
  if (withdrawalsDiffer)
    Q_EMIT withdrawalsChanged();
  if (arrivalsDiffer)
    Q_EMIT arrivalsChanged();
  if (etagDiffers)
    Q_EMIT manifestETagChanged();
  if (manifestDiffers)
    Q_EMIT manifestChanged();
}

// ---------------------------------------------------------------------------------------------
// Selection

std::optional<DropSnapshot> ContentRepository::select(const ReaderPreferences& preferences,
                                                      const std::optional<QString>& excluding,
                                                      const std::optional<DropSnapshot>& relatedTo,
                                                      const RandomSource& random) const {
  if (!m_release)
    return std::nullopt;
  const SelectionState state{m_release->lore, m_selectionIndex, m_seen, m_history};
  SelectionRequest request;
  request.categories = DropSelection::wantedCategories(preferences.topics, preferences.surpriseMe);
  request.excluding = excluding;
  request.relatedTo = relatedTo ? &relatedTo->lore : nullptr;
  const std::optional<qsizetype> index =
      DropSelection::choose(state, request, random ? random : RandomSource(systemRandom));
  if (!index)
    return std::nullopt;
  return DropSnapshot(m_release->lore[*index], *m_release);
}

std::optional<DropSnapshot> ContentRepository::teaserSnapshot(const ReaderPreferences& preferences,
                                                              const std::optional<QString>& keeping) const {
  if (keeping) {
    if (std::optional<DropSnapshot> kept = snapshot(*keeping)) {
      if (preferences.surpriseMe || preferences.topics.contains(rawValue(kept->lore.category)))
        return kept;
    }
  }
  return select(preferences);
}

std::optional<DropSnapshot> ContentRepository::snapshot(const QString& dropId) const {
  if (!m_release)
    return std::nullopt;
  const QList<Drop>& lore = m_release->lore;
  const auto it = std::find_if(lore.begin(), lore.end(), [&](const Drop& drop) { return drop.id == dropId; });
  if (it == lore.end() || m_withdrawals.contains(dropId))
    return std::nullopt;
  return DropSnapshot(*it, *m_release);
}

// ---------------------------------------------------------------------------------------------
// Recording

void ContentRepository::recordDelivery(const std::optional<QString>& dropId, Date at, bool automatic,
                                       const Calendar& calendar) {
  requireStorable(at);
  ScheduleLedger ledger = m_ledger;
  ledger.recordSuccessfulPresentation(at, automatic, calendar);
  QHash<QString, Date> seen = m_seen;
  if (dropId)
    seen.insert(*dropId, at);

  QMap<QString, QByteArray> updates;
  updates.insert(Key::ledger, Json::serialize(ledger.toJson()));
  updates.insert(Key::seen, encodeMap(seen));
  m_store.commit(updates, {});

  assignLedgerAndSeen(std::move(ledger), std::move(seen));
}

void ContentRepository::recordShown(const DropSnapshot& snapshot, const QString& impressionID, Date at,
                                    bool automatic, const Calendar& calendar) {
  const auto sameImpression = [&](const HistoryEntry& entry) { return entry.id == impressionID; };
  if (std::any_of(m_history.begin(), m_history.end(), sameImpression))
    return;
  requireStorable(at);

  HistoryEntry entry{impressionID, snapshot, at, automatic};
  ScheduleLedger ledger = m_ledger;
  ledger.recordSuccessfulPresentation(at, automatic, calendar);

  // The history is newest first, so the cap cuts from the end. A cut entry's record is
  // deleted unless a kept entry carries the same id (only a hand-edited store has such twins):
  // deleting it would take the kept entry's record with it.
  QList<HistoryEntry> history = m_history.first(std::min(m_history.size(), historyLimit - 1));
  history.prepend(entry);
  QSet<QString> keptIds;
  for (const HistoryEntry& kept : history)
    keptIds.insert(kept.id);
  QStringList removing;
  for (qsizetype i = history.size() - 1; i < m_history.size(); ++i) {
    if (!keptIds.contains(m_history[i].id))
      removing.append(Key::historyPrefix + m_history[i].id);
  }
  QHash<QString, Date> seen = m_seen;
  seen.insert(snapshot.id(), at);

  QMap<QString, QByteArray> updates;
  updates.insert(Key::historyPrefix + impressionID, Json::serialize(entry.toJson()));
  updates.insert(Key::ledger, Json::serialize(ledger.toJson()));
  updates.insert(Key::seen, encodeMap(seen));
  m_store.commit(updates, removing);

  m_history = std::move(history);
  assignLedgerAndSeen(std::move(ledger), std::move(seen), &ContentRepository::historyChanged);
}

bool ContentRepository::toggleSave(const DropSnapshot& snapshot, Date at) {
  return toggle(m_saved, Key::savedPrefix, snapshot, at, &ContentRepository::savedChanged);
}

bool ContentRepository::toggleLove(const DropSnapshot& snapshot, Date at) {
  return toggle(m_loved, Key::lovedPrefix, snapshot, at, &ContentRepository::lovedChanged);
}

bool ContentRepository::toggle(QList<SavedSnapshot>& list, const QString& prefix,
                               const DropSnapshot& snapshot, Date at, void (ContentRepository::*changed)()) {
  const QString dropId = snapshot.id();
  const QString key = prefix + dropId;
  const auto sameDrop = [&](const SavedSnapshot& entry) { return entry.snapshot.id() == dropId; };
  if (std::any_of(list.begin(), list.end(), sameDrop)) {
    m_store.commit({}, {key});
    list.removeIf(sameDrop);
    Q_EMIT(this->*changed)();
    return false;
  }
  requireStorable(at);
  SavedSnapshot entry{snapshot, at};
  m_store.save(entry, key);
  list.prepend(std::move(entry));
  Q_EMIT(this->*changed)();
  return true;
}

void ContentRepository::assignLedgerAndSeen(ScheduleLedger ledger, QHash<QString, Date> seen,
                                            void (ContentRepository::*alsoChanged)()) {
  const bool ledgerDiffers = assign(m_ledger, std::move(ledger));
  const bool seenDiffers = assign(m_seen, std::move(seen));
  if (alsoChanged)
    Q_EMIT(this->*alsoChanged)();
  if (ledgerDiffers)
    Q_EMIT ledgerChanged();
  if (seenDiffers)
    Q_EMIT seenChanged();
}

} // namespace brindlewick
