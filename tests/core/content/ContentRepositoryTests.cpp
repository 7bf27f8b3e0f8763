#include "content/ContentRepository.h"

#include "RawStoreDatabase.h"
#include "ReleaseGenerator.h"
#include "SignalLog.h"

#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <typeinfo>

using namespace brindlewick;

namespace {

const QString appVersion = QStringLiteral("1.0.0");

// Every write of the store's table fails from now on.
void refuseWrites(const QString& path) {
  RawStoreDatabase raw(path);
  for (const char* event : {"INSERT", "UPDATE", "DELETE"})
    raw.scalar(
        QStringLiteral(
            "CREATE TRIGGER refuse_%1 BEFORE %1 ON records BEGIN SELECT RAISE(ABORT, 'disk on fire'); END")
            .arg(QLatin1String(event)));
}

// A release of the generated drops at `indices`, withdrawing `withdrawn` (drop indices too).
GeneratedRelease releaseOf(QList<int> indices, QList<int> withdrawn = {}, int total = 6) {
  const GeneratedRelease base = generateRelease(total);
  GeneratedRelease result;
  result.release = base.release;
  result.release.lore.clear();
  QSet<QString> ids;
  for (const int index : indices)
    ids.insert(base.release.lore[index].id);
  for (const int index : indices) {
    Drop drop = base.release.lore[index];
    drop.relatedLoreIds.removeIf([&](const QString& id) { return !ids.contains(id); });
    result.release.lore.append(drop);
  }
  for (const int index : withdrawn)
    result.release.withdrawals.append(Withdrawal{
        base.release.lore[index].id, QStringLiteral("Withdrawn %1").arg(index), base.release.publishedAt});
  result.body = encodeRelease(result.release);
  result.manifest = manifestFor(result.release, result.body);
  return result;
}

QString dropId(int index) {
  return generateRelease(6).release.lore[index].id;
}

class ContentRepositoryTest : public testing::Test {
protected:
  ContentRepositoryTest() { reopen(); }

  QString path() const { return m_folder.filePath(QStringLiteral("Brindlewick.store")); }

  // A new store and repository over the same file, as after a restart.
  void reopen() {
    repository.reset();
    store.reset();
    store = std::make_unique<LocalStore>(false, path());
    repository = std::make_unique<ContentRepository>(*store, appVersion, false);
  }

  void install(const GeneratedRelease& release, Date at, const std::optional<QString>& etag = std::nullopt) {
    repository->install(release.body, release.manifest, etag, at);
  }

  DropSnapshot snapshotOf(int index) const {
    const std::optional<DropSnapshot> snapshot = repository->snapshot(dropId(index));
    if (!snapshot)
      throw std::logic_error("drop not installed");
    return *snapshot;
  }

  // Installs drop 0 and stores 999 showings of it, "old-0000" (the oldest) to "old-0998", with
  // `more` records, then restarts; returns the shown snapshot.
  DropSnapshot storeOldHistory(QMap<QString, QByteArray> more = {}) {
    install(releaseOf({0}), Date(0));
    const DropSnapshot shown = snapshotOf(0);
    for (int i = 0; i < 999; ++i) {
      const QString id = QStringLiteral("old-%1").arg(i, 4, 10, QLatin1Char('0'));
      more.insert("history/" + id, Json::serialize(HistoryEntry{id, shown, Date(1000 + i), false}.toJson()));
    }
    store->commit(more, {});
    reopen();
    return shown;
  }

  QTemporaryDir m_folder;
  std::unique_ptr<LocalStore> store;
  std::unique_ptr<ContentRepository> repository;
  const Calendar calendar{QTimeZone::utc()};
};

// The whole observable state, for "nothing changed" checks.
struct State {
  std::optional<ContentRelease> release;
  QStringList saved, loved, history;
  ScheduleLedger ledger;
  QHash<QString, Date> seen, arrivals;
  QHash<QString, QString> withdrawals;
  std::optional<QString> manifestETag;
  std::optional<ContentManifest> manifest;

  State() = default;
  explicit State(const ContentRepository& r)
      : release(r.release()), ledger(r.ledger()), seen(r.seen()), arrivals(r.arrivals()),
        withdrawals(r.withdrawals()), manifestETag(r.manifestETag()), manifest(r.manifest()) {
    for (const SavedSnapshot& s : r.saved())
      saved.append(s.id() + QString::number(s.savedAt.secondsSinceReference()));
    for (const SavedSnapshot& s : r.loved())
      loved.append(s.id() + QString::number(s.savedAt.secondsSinceReference()));
    for (const HistoryEntry& e : r.history())
      history.append(e.id + (e.automatic ? QStringLiteral(" automatic") : QString()));
  }
  friend bool operator==(const State&, const State&) = default;
};

// The repository's change signals in the order emitted, and whether every observer, when told,
// already saw the operation's whole outcome.
class ChangeLog : public SignalLog {
public:
  explicit ChangeLog(ContentRepository& repository)
      : SignalLog(repository, [this] { m_observed.append(State(m_repository)); }), m_repository(repository) {}

  bool everyObserverSawTheOutcome() const {
    const State outcome(m_repository);
    return std::all_of(m_observed.begin(), m_observed.end(), [&](const State& s) { return s == outcome; });
  }

private:
  const ContentRepository& m_repository;
  QList<State> m_observed;
};

// ---------------------------------------------------------------------------------------------
// Loading

TEST_F(ContentRepositoryTest, AnEmptyStoreGivesAnEmptyLibrary) {
  EXPECT_EQ(State(*repository), State());
  ReaderPreferences preferences;
  EXPECT_FALSE(repository->select(preferences));
  EXPECT_FALSE(repository->teaserSnapshot(preferences, dropId(0)));
  EXPECT_FALSE(repository->snapshot(dropId(0)));
}

TEST_F(ContentRepositoryTest, ListsLoadNewestFirstAndKeysLoadIndependently) {
  install(releaseOf({0, 1, 2}), Date(0), QStringLiteral("\"v1\""));
  const DropSnapshot a = snapshotOf(0), b = snapshotOf(1), c = snapshotOf(2);
  QMap<QString, QByteArray> records;
  records.insert("saved/" + a.id(), Json::serialize(SavedSnapshot{a, Date(1)}.toJson()));
  records.insert("saved/" + b.id(), Json::serialize(SavedSnapshot{b, Date(3)}.toJson()));
  records.insert("saved/" + c.id(), Json::serialize(SavedSnapshot{c, Date(2)}.toJson()));
  records.insert("history/h1", Json::serialize(HistoryEntry{"h1", a, Date(10), true}.toJson()));
  records.insert("history/h2", Json::serialize(HistoryEntry{"h2", a, Date(30), false}.toJson()));
  records.insert("history/h3", Json::serialize(HistoryEntry{"h3", b, Date(20), true}.toJson()));
  store->commit(records, {"manifest"}); // leaves the entity tag without its manifest
  reopen();

  QStringList saved, history;
  for (const SavedSnapshot& s : repository->saved())
    saved.append(s.id());
  for (const HistoryEntry& e : repository->history())
    history.append(e.id);
  EXPECT_EQ(saved, (QStringList{b.id(), c.id(), a.id()}));
  EXPECT_EQ(history, (QStringList{"h2", "h3", "h1"}));
  EXPECT_EQ(repository->manifestETag(), QStringLiteral("\"v1\""));
  EXPECT_FALSE(repository->manifest());
  EXPECT_TRUE(repository->release());
}

// A record that cannot be read stops construction with an error naming its key; nothing is
// deleted, so the reader's data is still there for a fixed version to read.
TEST_F(ContentRepositoryTest, AnUnreadableRecordNamesItsKeyAndIsKept) {
  install(releaseOf({0, 1}), Date(0));
  repository->toggleSave(snapshotOf(0), Date(1));
  const std::vector<std::pair<QString, QByteArray>> cases{
      {"history/broken", R"({"id":"broken","shownAt":1,"automatic":true})"}, // no snapshot
      {"saved/broken", "not json"},
      {"loved/x", R"({"snapshot":{},"savedAt":1})"},
      {"ledger", R"({"lastPresentation":3})"},
      {"seen", R"({"a":"yesterday"})"},
      {"arrivals", "[]"},
      {"withdrawals", R"({"a":1})"},
      {"manifest-etag", "42"},
      {"manifest", R"({"schemaVersion":1})"},
      {"release", "{}"},
  };
  repository.reset();
  const QMap<QString, QByteArray> original = RawStoreDatabase(path()).records();
  for (const auto& [key, payload] : cases) {
    store->commit({{key, payload}}, {});
    const QMap<QString, QByteArray> written = RawStoreDatabase(path()).records();
    try {
      ContentRepository broken(*store, appVersion, false);
      ADD_FAILURE() << "loaded " << key.toStdString();
    } catch (const StoredRecordError& error) {
      EXPECT_EQ(error.key(), key);
      EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QStringLiteral("\"%1\"").arg(key)))
          << error.what();
    }
    EXPECT_EQ(RawStoreDatabase(path()).records(), written) << key.toStdString();
    if (original.contains(key))
      store->commit({{key, original.value(key)}}, {});
    else
      store->remove(key);
  }
}

TEST_F(ContentRepositoryTest, AStoredReleaseTheRunningVersionRefusesStopsConstruction) {
  install(releaseOf({0, 1}), Date(0));
  repository.reset();
  try {
    ContentRepository older(*store, QStringLiteral("0.9.0"), false);
    ADD_FAILURE() << "an older version loaded a release it does not support";
  } catch (const StoredRecordError& error) {
    EXPECT_EQ(error.key(), QStringLiteral("release"));
    EXPECT_EQ(error.reason(), QStringLiteral("Release requires app version 1.0.0"));
    EXPECT_THROW(error.rethrowOriginal(), ContractValidationError);
  }

  // A development release loads only where development content is allowed.
  ReleaseShape shape;
  shape.developmentOnly = true;
  store->commit({{"release", generateRelease(3, shape).body}}, {});
  EXPECT_THROW(ContentRepository(*store, appVersion, false), StoredRecordError);
  ContentRepository development(*store, appVersion, true);
  ASSERT_TRUE(development.release());
  EXPECT_TRUE(development.release()->developmentOnly);
}

// ---------------------------------------------------------------------------------------------
// Installation

TEST_F(ContentRepositoryTest, ArrivalsDateNewcomersAndForgetDepartedDrops) {
  install(releaseOf({0, 1}), Date(100));
  EXPECT_EQ(repository->arrivals(),
            (QHash<QString, Date>{{dropId(0), Date::distantPast()}, {dropId(1), Date::distantPast()}}));
  install(releaseOf({1, 2}), Date(200));
  const QHash<QString, Date> expected{{dropId(1), Date::distantPast()}, {dropId(2), Date(200)}};
  EXPECT_EQ(repository->arrivals(), expected);
  install(releaseOf({1, 2, 3}), Date(300));
  EXPECT_EQ(repository->arrivals().value(dropId(2)), Date(200));
  EXPECT_EQ(repository->arrivals().value(dropId(3)), Date(300));
}

TEST_F(ContentRepositoryTest, WithdrawalsAccumulateUntilADropIsCarriedAgain) {
  install(releaseOf({0, 1}, {4}), Date(0));
  EXPECT_EQ(repository->withdrawals(), (QHash<QString, QString>{{dropId(4), "Withdrawn 4"}}));
  install(releaseOf({0, 1}, {5}), Date(1)); // neither carries nor withdraws 4
  EXPECT_EQ(repository->withdrawals(),
            (QHash<QString, QString>{{dropId(4), "Withdrawn 4"}, {dropId(5), "Withdrawn 5"}}));
  ChangeLog log(*repository);
  install(releaseOf({0, 1, 4}), Date(2)); // carries 4 again
  EXPECT_TRUE(log.everyObserverSawTheOutcome()) << "the new release was announced before its withdrawals";
  EXPECT_EQ(repository->withdrawals(), (QHash<QString, QString>{{dropId(5), "Withdrawn 5"}}));
}

TEST_F(ContentRepositoryTest, ReinstallingTheSameBytesChangesAndNotifiesNothing) {
  const GeneratedRelease release = releaseOf({0, 1, 2});
  {
    ChangeLog log(*repository);
    install(release, Date(10), QStringLiteral("\"e1\""));
    EXPECT_EQ(log.names,
              (QStringList{"releaseChanged", "arrivalsChanged", "manifestETagChanged", "manifestChanged"}));
  }
  const State before(*repository);
  const QMap<QString, QByteArray> stored = RawStoreDatabase(path()).records();
  ChangeLog log(*repository);
  install(release, Date(20), QStringLiteral("\"e1\""));
  EXPECT_TRUE(log.names.isEmpty()) << log.names.join(',').toStdString();
  EXPECT_EQ(State(*repository), before);
  EXPECT_EQ(RawStoreDatabase(path()).records(), stored);

  // Other bytes of an equal release (re-spaced JSON) leave `release` unnotified; the
  // manifest, which describes the bytes, changes.
  QByteArray spaced = release.body;
  spaced.append(' ');
  repository->install(spaced, manifestFor(release.release, spaced), QStringLiteral("\"e1\""), Date(30));
  EXPECT_EQ(log.names, QStringList{"manifestChanged"});
  EXPECT_EQ(store->data("release"), spaced);
}

TEST_F(ContentRepositoryTest, TheEntityTagIsStoredAsJsonTextOrRemoved) {
  install(releaseOf({0}), Date(0), QStringLiteral("W/\"abc\""));
  EXPECT_EQ(store->data("manifest-etag"), QByteArray(R"("W/\"abc\"")"));
  EXPECT_EQ(repository->manifest(), releaseOf({0}).manifest);
  ChangeLog log(*repository);
  install(releaseOf({0}), Date(1));
  EXPECT_EQ(log.names, QStringList{"manifestETagChanged"});
  EXPECT_FALSE(store->data("manifest-etag"));
  EXPECT_FALSE(repository->manifestETag());
}

// Every write of the library is one batch of values computed and encoded beforehand: when
// validation, encoding or the store refuses, neither the store nor a single property changes.
TEST_F(ContentRepositoryTest, AFailedOperationLeavesStoreAndLibraryAsTheyWere) {
  install(releaseOf({0, 1, 2}, {5}), Date(0), QStringLiteral("\"e1\""));
  repository->toggleSave(snapshotOf(0), Date(1));
  repository->toggleLove(snapshotOf(1), Date(1));
  repository->recordShown(snapshotOf(0), "first", Date(2), true, calendar);
  const State before(*repository);
  const QMap<QString, QByteArray> stored = RawStoreDatabase(path()).records();
  const auto expectRefused = [&](const std::string& name, const std::type_info& error, auto operation) {
    ChangeLog log(*repository);
    try {
      operation();
      ADD_FAILURE() << name << " succeeded";
    } catch (const std::exception& e) {
      EXPECT_EQ(typeid(e), error) << name << ": " << e.what();
    }
    EXPECT_TRUE(log.names.isEmpty()) << name;
    EXPECT_EQ(State(*repository), before) << name;
    EXPECT_EQ(RawStoreDatabase(path()).records(), stored) << name;
  };

  const GeneratedRelease next = releaseOf({1, 2, 3}, {0});
  ContentManifest wrongDigest = next.manifest;
  wrongDigest.checksumSha256 = QString(64, u'0');
  expectRefused("wrong digest", typeid(ContractValidationError),
                [&] { repository->install(next.body, wrongDigest, QStringLiteral("\"e2\""), Date(5)); });

  // Each operation in turn with a date JSON cannot hold (it would be stored as null and the
  // library could not be opened again), then with a store that refuses every write.
  const std::vector<std::pair<const char*, std::function<void(Date)>>> operations{
      {"install", [&](Date at) { install(next, at, QStringLiteral("\"e\"")); }},
      {"recordDelivery", [&](Date at) { repository->recordDelivery(dropId(1), at, true, calendar); }},
      {"recordShown", [&](Date at) { repository->recordShown(snapshotOf(1), "second", at, true, calendar); }},
      {"save", [&](Date at) { repository->toggleSave(snapshotOf(1), at); }},
      {"love", [&](Date at) { repository->toggleLove(snapshotOf(2), at); }},
      {"unsave", [&](Date at) { repository->toggleSave(snapshotOf(0), at); }},
      {"unlove", [&](Date at) { repository->toggleLove(snapshotOf(1), at); }},
  };
  for (const double at : {std::nan(""), HUGE_VAL}) {
    for (const auto& [name, operation] : operations) {
      if (!QByteArray(name).startsWith("un"))
        expectRefused(name + std::to_string(at), typeid(std::invalid_argument), [&] { operation(Date(at)); });
    }
  }
  refuseWrites(path());
  for (const auto& [name, operation] : operations)
    expectRefused(name, typeid(LocalStoreError), [&] { operation(Date(9)); });
}

// ---------------------------------------------------------------------------------------------
// Selection through the repository

TEST_F(ContentRepositoryTest, SelectionSnapshotsAndTheTeaser) {
  // Generated drop i has category i % 12: 0 psychology, 1 science, 2 technology.
  install(releaseOf({0, 1, 2}), Date(0));
  ReaderPreferences science;
  science.surpriseMe = false;
  science.topics = {QStringLiteral("science")};
  const std::optional<DropSnapshot> chosen =
      repository->select(science, std::nullopt, std::nullopt, [] { return 0.5; });
  EXPECT_EQ(chosen, snapshotOf(1));
  EXPECT_FALSE(repository->select(science, dropId(1)));
  EXPECT_EQ(repository->select(ReaderPreferences(), std::nullopt, snapshotOf(0), [] { return 0.0; })->id(),
            dropId(1)); // drop 0 names drop 1 as related

  // The teaser keeps its drop while it is valid, else chooses afresh.
  EXPECT_EQ(repository->teaserSnapshot(science, dropId(1))->id(), dropId(1));
  EXPECT_EQ(repository->teaserSnapshot(ReaderPreferences(), dropId(2))->id(), dropId(2));
  EXPECT_EQ(repository->teaserSnapshot(science, dropId(2))->id(), dropId(1));
  EXPECT_EQ(repository->teaserSnapshot(science, QStringLiteral("unknown"))->id(), dropId(1));

  // A later release's newcomers are the newest arrival batch: they come first.
  reopen();
  install(releaseOf({1, 2, 3}), Date(10));
  for (const double draw : {0.0, 0.99})
    EXPECT_EQ(repository->select(ReaderPreferences(), std::nullopt, std::nullopt, [=] { return draw; })->id(),
              dropId(3));
  install(releaseOf({0, 1, 2}), Date(20));

  // A drop that the stored withdrawals name is never resolved, even while its release
  // still carries it.
  store->save(QMap<QString, QString>{{dropId(1), "Retracted"}}, "withdrawals");
  reopen();
  EXPECT_FALSE(repository->snapshot(dropId(1)));
  EXPECT_FALSE(repository->select(science));
  EXPECT_FALSE(repository->teaserSnapshot(science, dropId(1)));
}

// ---------------------------------------------------------------------------------------------
// Recording

TEST_F(ContentRepositoryTest, DeliveriesMoveTheLedgerAndLastShownDates) {
  install(releaseOf({0, 1}), Date(0));
  ChangeLog log(*repository);
  repository->recordDelivery(std::nullopt, Date(100), true, calendar);
  EXPECT_EQ(log.names, QStringList{"ledgerChanged"});
  EXPECT_EQ(repository->ledger().automaticPresentations().size(), 1u);
  EXPECT_EQ(store->data("seen"), QByteArray("{}")); // written even when unchanged

  repository->recordDelivery(dropId(0), Date(200), false, calendar);
  repository->recordDelivery(dropId(0), Date(150), false, calendar); // an earlier time still replaces
  EXPECT_EQ(repository->seen(), (QHash<QString, Date>{{dropId(0), Date(150)}}));
  EXPECT_EQ(repository->ledger().lastPresentation(), Date(200));
}

TEST_F(ContentRepositoryTest, AnImpressionIsRecordedOnce) {
  install(releaseOf({0, 1}), Date(0));
  ChangeLog log(*repository);
  repository->recordShown(snapshotOf(0), "imp-1", Date(100), true, calendar);
  repository->recordShown(snapshotOf(1), "imp-1", Date(200), true, calendar);
  EXPECT_EQ(log.names, (QStringList{"historyChanged", "ledgerChanged", "seenChanged"}));
  EXPECT_TRUE(log.everyObserverSawTheOutcome());
  ASSERT_EQ(repository->history().size(), 1);
  EXPECT_EQ(repository->history().first().snapshot, snapshotOf(0));
  EXPECT_EQ(repository->ledger().automaticPresentations().size(), 1u);
  EXPECT_EQ(repository->seen(), (QHash<QString, Date>{{dropId(0), Date(100)}}));
}

TEST_F(ContentRepositoryTest, HistoryIsCappedAndTheCutRecordsLeaveInTheSameBatch) {
  const DropSnapshot shown = storeOldHistory();
  const auto historyRecords = [&] { return store->entryData("history/").size(); };

  repository->recordShown(shown, "new-1", Date(5000), false, calendar); // 999 → 1000, nothing cut
  EXPECT_EQ(repository->history().size(), 1000);
  EXPECT_EQ(historyRecords(), 1000u);
  EXPECT_EQ(repository->history().last().id, QStringLiteral("old-0000"));

  // The cut and the new record share one batch: when it fails, the oldest record stays.
  {
    RawStoreDatabase raw(path());
    raw.scalar("CREATE TRIGGER refuse BEFORE INSERT ON records WHEN NEW.key = 'history/new-2' "
               "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }
  EXPECT_THROW(repository->recordShown(shown, "new-2", Date(6000), false, calendar), LocalStoreError);
  EXPECT_TRUE(store->data("history/old-0000"));
  EXPECT_EQ(repository->history().size(), 1000);
  RawStoreDatabase(path()).scalar("DROP TRIGGER refuse");

  repository->recordShown(shown, "new-2", Date(6000), false, calendar); // 1000 → 1000
  EXPECT_EQ(repository->history().size(), 1000);
  EXPECT_EQ(repository->history().first().id, QStringLiteral("new-2"));
  EXPECT_EQ(repository->history().last().id, QStringLiteral("old-0001"));
  EXPECT_FALSE(store->data("history/old-0000"));
  EXPECT_EQ(historyRecords(), 1000u);
}

// Only a hand-edited store holds two records of one showing; cutting the older copy must not
// delete the record of the one that stays.
TEST_F(ContentRepositoryTest, CuttingACopiedShowingKeepsTheRecordOfTheOneThatStays) {
  install(releaseOf({0}), Date(0));
  const DropSnapshot shown = storeOldHistory(
      {{"history/copy", Json::serialize(HistoryEntry{"old-0500", snapshotOf(0), Date(1), false}.toJson())}});
  repository->recordShown(shown, "new", Date(5000), false, calendar);
  EXPECT_EQ(repository->history().size(), 1000);
  EXPECT_TRUE(store->data("history/old-0500"));
}

TEST_F(ContentRepositoryTest, SavesAndLovesToggleIndependentlyByDrop) {
  install(releaseOf({0, 1}), Date(0));
  const DropSnapshot a = snapshotOf(0), b = snapshotOf(1);
  EXPECT_TRUE(repository->toggleSave(a, Date(1)));
  EXPECT_TRUE(repository->toggleSave(b, Date(2)));
  EXPECT_TRUE(repository->toggleLove(a, Date(3)));
  EXPECT_EQ(repository->saved().first().id(), b.id()); // newest first
  EXPECT_EQ(repository->loved().size(), 1);

  // Any snapshot of the same drop unsaves it; the love stays.
  DropSnapshot revised = a;
  revised.lore.revision += 1;
  ChangeLog log(*repository);
  EXPECT_FALSE(repository->toggleSave(revised, Date(4)));
  EXPECT_EQ(log.names, QStringList{"savedChanged"});
  EXPECT_EQ(repository->saved().size(), 1);
  EXPECT_FALSE(store->data("saved/" + a.id()));
  EXPECT_TRUE(store->data("loved/" + a.id()));
  EXPECT_EQ(repository->loved().first().id(), a.id());
  EXPECT_FALSE(repository->toggleLove(a, Date(5)));
  EXPECT_TRUE(repository->loved().isEmpty());
}

// Everything recorded comes back after a restart.
TEST_F(ContentRepositoryTest, ARestartRestoresTheWholeLibrary) {
  install(releaseOf({0, 1, 2}, {4}), Date(0), QStringLiteral("\"tag\""));
  install(releaseOf({0, 1, 2, 3}, {4}), Date(50), QStringLiteral("\"tag-2\""));
  repository->recordShown(snapshotOf(1), "imp", Date(60), true, calendar);
  repository->recordDelivery(dropId(2), Date(70), false, calendar);
  repository->toggleSave(snapshotOf(0), Date(80));
  repository->toggleLove(snapshotOf(3), Date(90));
  const State before(*repository);
  const DropSnapshot shown = repository->history().first().snapshot;
  reopen();
  EXPECT_EQ(State(*repository), before);
  EXPECT_EQ(repository->history().first().snapshot, shown);
  EXPECT_EQ(repository->saved().first().snapshot, snapshotOf(0));
}

TEST(ContentError, DescriptionsAreFixed) {
  EXPECT_EQ(ContentError(ContentError::Case::previewNotEnabled).message(),
            "Development content is available only in an explicit debug preview.");
  EXPECT_EQ(ContentError(ContentError::Case::missingFixture).message(),
            "The development fixture resource is missing.");
  EXPECT_STREQ(ContentError(ContentError::Case::emptySelection).what(),
               "No other drop matches your interests. Try Surprise Me or sync new content.");
}

} // namespace
