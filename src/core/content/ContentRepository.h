#pragma once

#include "content/ContentContracts.h"
#include "content/ContentSnapshots.h"
#include "content/DropSelection.h"
#include "content/LocalStore.h"
#include "delivery/Calendar.h"
#include "delivery/Preferences.h"
#include "delivery/Scheduling.h"
#include "foundation/Date.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <exception>
#include <optional>

namespace brindlewick {

// The content library's error. The operations of the repository raise none of these; the
// application shows emptySelection when no drop is left to show, and the settings page when
// no topic is chosen.
class ContentError : public std::exception {
public:
  enum class Case { previewNotEnabled, missingFixture, emptySelection };

  explicit ContentError(Case errorCase);

  Case errorCase() const { return m_case; }
  // The user-facing description.
  QString message() const;
  const char* what() const noexcept override { return m_what.constData(); }

  friend bool operator==(const ContentError& a, const ContentError& b) { return a.m_case == b.m_case; }
  friend size_t qHash(const ContentError& error, size_t seed = 0) noexcept {
    return ::qHash(static_cast<int>(error.m_case), seed);
  }

private:
  Case m_case;
  QByteArray m_what;
};

// A stored record of the library that could not be read when the repository was opened.
// It names the record's key, so that whoever reads it knows what stands in the way, and
// keeps the original failure (store, JSON or content contract) with its message unchanged.
// Nothing is deleted or repaired on this path.
class StoredRecordError : public std::exception {
public:
  StoredRecordError(QString key, QString reason, std::exception_ptr original);

  const QString& key() const { return m_key; }
  // The original failure's message.
  const QString& reason() const { return m_reason; }
  const std::exception_ptr& original() const { return m_original; }
  [[noreturn]] void rethrowOriginal() const { std::rethrow_exception(m_original); }
  // "The stored record "key" could not be read: reason"
  QString message() const;
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_key;
  QString m_reason;
  std::exception_ptr m_original;
  QByteArray m_what;
};

// The reader's content library on this computer: the installed release with its manifest and
// entity tag, the drops saved and loved here, the history of shown drops, the schedule ledger,
// and when each drop was last shown, first arrived and why it was withdrawn.
//
// Every property lives in the local store under its own key. The repository reads them all
// once when it is built; afterwards each operation computes and encodes its new values,
// writes them in one store batch, and changes its properties only after that batch was
// saved, so the store and the properties never disagree. On any failure neither changes.
//
// Confined to the main thread. Each property has its change signal: the lists signal on
// every assignment, the other properties only when the value changes.
class ContentRepository final : public QObject {
  Q_OBJECT

public:
  // The most history entries kept; the newest remain.
  static constexpr qsizetype historyLimit = 1000;

  // Loads every key of the library from `store`, which must outlive the repository. Throws
  // StoredRecordError naming the first record that cannot be read (including a stored
  // release that the running version or `allowDevelopment` no longer accepts).
  ContentRepository(LocalStore& store, QString appVersion, bool allowDevelopment, QObject* parent = nullptr);
  ~ContentRepository() override;

  const std::optional<ContentRelease>& release() const { return m_release; }
  const QList<SavedSnapshot>& saved() const { return m_saved; }
  const QList<SavedSnapshot>& loved() const { return m_loved; }
  const QList<HistoryEntry>& history() const { return m_history; }
  const ScheduleLedger& ledger() const { return m_ledger; }
  const QHash<QString, Date>& seen() const { return m_seen; }
  const QHash<QString, Date>& arrivals() const { return m_arrivals; }
  const QHash<QString, QString>& withdrawals() const { return m_withdrawals; }
  const std::optional<QString>& manifestETag() const { return m_manifestETag; }
  const std::optional<ContentManifest>& manifest() const { return m_manifest; }

  LocalStore& store() const { return m_store; }
  const QString& appVersion() const { return m_appVersion; }
  bool allowDevelopment() const { return m_allowDevelopment; }

  // Validates `data` against `manifest` and the running version, then replaces the cached
  // release, manifest and entity tag, and updates withdrawals and arrivals, in one batch.
  // Throws the validator's or the store's error; nothing changes on failure.
  void install(const QByteArray& data, const ContentManifest& manifest, const std::optional<QString>& etag,
               Date at);

  // The next drop for the reader's topics (every topic with surprise-me), never a withdrawn
  // one, never `excluding` nor `relatedTo` itself; with `relatedTo`, only its neighbours.
  // None when nothing is eligible. `random` defaults to the system's generator.
  std::optional<DropSnapshot> select(const ReaderPreferences& preferences,
                                     const std::optional<QString>& excluding = std::nullopt,
                                     const std::optional<DropSnapshot>& relatedTo = std::nullopt,
                                     const RandomSource& random = {}) const;
  // The drop the teaser keeps showing while it is still valid for the preferences, else a
  // fresh choice.
  std::optional<DropSnapshot> teaserSnapshot(const ReaderPreferences& preferences,
                                             const std::optional<QString>& keeping) const;
  // The installed release's snapshot of a drop; none when unknown or withdrawn.
  std::optional<DropSnapshot> snapshot(const QString& dropId) const;

  // Records a presentation in the ledger and, for a drop, its last-shown date.
  void recordDelivery(const std::optional<QString>& dropId, Date at, bool automatic,
                      const Calendar& calendar);
  // Records a presentation with a history entry; an impression is recorded once however
  // often it is reported. The history keeps the newest historyLimit entries.
  void recordShown(const DropSnapshot& snapshot, const QString& impressionID, Date at, bool automatic,
                   const Calendar& calendar);
  // Saves or unsaves a drop (by drop id); true when it is saved afterwards.
  bool toggleSave(const DropSnapshot& snapshot, Date at);
  // Loves or unloves a drop; true when it is loved afterwards.
  bool toggleLove(const DropSnapshot& snapshot, Date at);

Q_SIGNALS:
  void releaseChanged();
  void savedChanged();
  void lovedChanged();
  void historyChanged();
  void ledgerChanged();
  void seenChanged();
  void arrivalsChanged();
  void withdrawalsChanged();
  void manifestETagChanged();
  void manifestChanged();

private:
  void load();
  void replaceCache(const QByteArray& data, ContentRelease release,
                    const std::optional<ContentManifest>& manifest, const std::optional<QString>& etag,
                    Date at);
  bool toggle(QList<SavedSnapshot>& list, const QString& prefix, const DropSnapshot& snapshot, Date at,
              void (ContentRepository::*changed)());

  // Assigns both, then signals `alsoChanged` (when given) and whichever of the two changed.
  void assignLedgerAndSeen(ScheduleLedger ledger, QHash<QString, Date> seen,
                           void (ContentRepository::*alsoChanged)() = nullptr);

  LocalStore& m_store;
  QString m_appVersion;
  bool m_allowDevelopment;

  std::optional<ContentRelease> m_release;
  QList<SavedSnapshot> m_saved;
  QList<SavedSnapshot> m_loved;
  QList<HistoryEntry> m_history;
  ScheduleLedger m_ledger;
  QHash<QString, Date> m_seen;
  QHash<QString, Date> m_arrivals;
  QHash<QString, QString> m_withdrawals;
  std::optional<QString> m_manifestETag;
  std::optional<ContentManifest> m_manifest;
  // Derived from the release, withdrawals and arrivals, which change together at installation.
  SelectionIndex m_selectionIndex;
};

} // namespace brindlewick
