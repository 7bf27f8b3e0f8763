// The reader's collection and settings actions: saving and loving an idea, bringing the saves
// of this computer from before accounts into the account, saving edited settings, and pausing.

#include "model/ReaderModel.h"

#include "model/ReaderAccountUIError.h"

#include <QPointer>

namespace brindlewick {

void ReaderModel::changeCollection(const DropSnapshot& snapshot, bool love) {
  if (m_collectionBusy)
    return;
  if (!signedIn()) {
    setMessage(collectionSignInMessage);
    setNavigationTab(ReaderTab::settings);
    return;
  }
  // The target is fixed at the tap: a second tap while the request runs is ignored, not undone.
  const bool target = !(love ? isLoved(snapshot) : isSaved(snapshot));
  setCollectionBusy(true);
  runCollectionChange(snapshot, love, target);
}

QCoro::Task<> ReaderModel::runCollectionChange(DropSnapshot snapshot, bool love, bool target) {
  const QPointer<ReaderModel> self(this);
  const CancellationToken lifetime = m_lifetime.token();
  QCoro::Task<> change = love ? m_account->setLoved(target, std::move(snapshot), lifetime)
                              : m_account->setSaved(target, std::move(snapshot), lifetime);
  const std::optional<QString> failure = co_await failureOf(change);
  if (!self || lifetime.isCancelled())
    co_return;
  setMessage(failureLine(collectionFailurePrefix, failure));
  setCollectionBusy(false);
}

void ReaderModel::importLegacySaves() {
  if (m_collectionBusy)
    return;
  QList<DropSnapshot> snapshots;
  for (const SavedSnapshot& saved : m_repository->saved())
    snapshots.append(saved.snapshot);
  setCollectionBusy(true);
  runImport(std::move(snapshots), readerID());
}

QCoro::Task<> ReaderModel::runImport(QList<DropSnapshot> snapshots, std::optional<QString> reader) {
  const QPointer<ReaderModel> self(this);
  const CancellationToken lifetime = m_lifetime.token();
  int imported = 0;
  std::optional<QString> failure;
  // One change at a time; the local saves are only read, so the import can be repeated.
  for (DropSnapshot& snapshot : snapshots) {
    if (isSaved(snapshot))
      continue;
    if (readerID() != reader || !signedIn()) {
      failure = ReaderAccountUIError(ReaderAccountUIError::Case::accountRequired).description();
    } else {
      QCoro::Task<> save = m_account->setSaved(true, std::move(snapshot), lifetime);
      failure = co_await failureOf(save);
    }
    if (!self || lifetime.isCancelled())
      co_return;
    if (failure)
      break;
    ++imported;
  }
  if (failure)
    setMessage(
        QStringLiteral("Imported %1 saves before sync stopped: %2 Your originals are unchanged; retry to "
                       "continue.")
            .arg(imported)
            .arg(*failure));
  else
    setMessage(QStringLiteral("Imported %1 previous saves into this account. The originals are unchanged.")
                   .arg(imported));
  setCollectionBusy(false);
}

QCoro::Task<> ReaderModel::saveSettings(ReaderPreferences preferences,
                                        std::optional<qint64> expectedVersion) {
  if (!signedIn())
    throw ReaderAccountUIError(ReaderAccountUIError::Case::accountRequired);
  if (expectedVersion && *expectedVersion != m_account->preferenceVersion())
    throw AccountError::preferenceConflict();
  const QPointer<ReaderModel> self(this);
  ReaderPreferences sent = preferences;
  co_await m_account->savePreferences(std::move(sent), m_lifetime.token());
  if (!self)
    co_return;
  m_preferences->save(preferences);
  reschedule();
}

void ReaderModel::togglePause() {
  runTogglePause();
}

QCoro::Task<> ReaderModel::runTogglePause() {
  const QPointer<ReaderModel> self(this);
  const CancellationToken lifetime = m_lifetime.token();
  ReaderPreferences preferences = m_preferences->value();
  preferences.schedule.setPaused(!preferences.schedule.paused());
  QCoro::Task<> save = saveSettings(std::move(preferences), std::nullopt);
  const std::optional<QString> failure = co_await failureOf(save);
  if (self && !lifetime.isCancelled() && failure)
    setMessage(*failure);
}

} // namespace brindlewick
