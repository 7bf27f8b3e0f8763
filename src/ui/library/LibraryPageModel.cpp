#include "ui/library/LibraryPageModel.h"

#include "model/ReaderModel.h"

namespace brindlewick {

LibraryPageModel::LibraryPageModel(ReaderModel& model, ReaderTab tab, QObject* parent)
    : QObject(parent), m_model(&model), m_lists(tab),
      m_resolved(std::make_shared<QHash<QString, std::optional<DropSnapshot>>>()) {
  const auto release = [this] {
    m_resolved = std::make_shared<QHash<QString, std::optional<DropSnapshot>>>();
    inputsChanged();
  };
  connect(&model, &ReaderModel::accountHistoryChanged, this, &LibraryPageModel::inputsChanged);
  connect(&model, &ReaderModel::savedSnapshotsChanged, this, &LibraryPageModel::inputsChanged);
  connect(&model, &ReaderModel::lovedSnapshotsChanged, this, &LibraryPageModel::inputsChanged);
  connect(&model, &ReaderModel::storageHealthyChanged, this, &LibraryPageModel::inputsChanged);
  connect(&model, &ReaderModel::librarySearchChanged, this, &LibraryPageModel::searchChanged);
  connect(&model.account(), &AccountController::isSignedInChanged, this, &LibraryPageModel::inputsChanged);
  connect(&model.preferences(), &PreferencesStore::valueChanged, this, &LibraryPageModel::inputsChanged);
  connect(&model.repository(), &ContentRepository::releaseChanged, this, release);
  connect(&model.repository(), &ContentRepository::withdrawalsChanged, this, release);
  recompute();
}

void LibraryPageModel::inputsChanged() {
  m_inputsDirty = true;
  schedule();
}

void LibraryPageModel::searchChanged() {
  m_searchDirty = true;
  schedule();
}

void LibraryPageModel::schedule() {
  if (m_scheduled)
    return;
  m_scheduled = true;
  QMetaObject::invokeMethod(this, &LibraryPageModel::recompute, Qt::QueuedConnection);
}

void LibraryPageModel::recompute() {
  m_scheduled = false;
  if (!m_model)
    return;
  if (m_inputsDirty)
    m_lists.setInputs(gather());
  if (m_searchDirty)
    m_lists.setSearch(m_model->librarySearch());
  m_inputsDirty = m_searchDirty = false;
  m_lists.update();
  Q_EMIT changed();
}

LibraryInputs LibraryPageModel::gather() {
  ReaderModel& model = *m_model;
  const ContentRepository& repository = model.repository();
  LibraryInputs inputs;
  inputs.signedIn = model.account().isSignedIn();
  inputs.storageHealthy = model.storageHealthy();
  inputs.history = model.accountHistory();
  inputs.saved = model.savedSnapshots();
  inputs.loved = model.lovedSnapshots();
  if (const auto& release = repository.release()) {
    inputs.hasRelease = true;
    inputs.releaseLore = release->lore;
  }
  const ReaderPreferences preferences = model.preferences().value();
  inputs.topics = preferences.topics;
  inputs.surpriseMe = preferences.surpriseMe;
  // The walk over the release is by its own drops, so a lookup by id is needless: a drop
  // resolves unless withdrawn. Snapshots are kept until the release or withdrawals change.
  inputs.resolve = [cache = m_resolved, repository = QPointer<const ContentRepository>(&repository)](
                       const Drop& drop) -> std::optional<DropSnapshot> {
    if (const auto found = cache->constFind(drop.id); found != cache->constEnd())
      return *found;
    std::optional<DropSnapshot> snapshot;
    if (repository && repository->release() && !repository->withdrawals().contains(drop.id))
      snapshot = DropSnapshot(drop, *repository->release());
    cache->insert(drop.id, snapshot);
    return snapshot;
  };
  return inputs;
}

void LibraryPageModel::setBook(const QString& book) {
  m_lists.setBook(book);
  m_lists.update();
  Q_EMIT changed();
}

void LibraryPageModel::setTopic(const QString& topic) {
  m_lists.setTopic(topic);
  m_lists.update();
  Q_EMIT changed();
}

void LibraryPageModel::setRecentOnly(bool recentOnly) {
  m_lists.setRecentOnly(recentOnly);
  m_lists.update();
  Q_EMIT changed();
}

void LibraryPageModel::setSelection(const std::optional<QString>& selection) {
  m_lists.setSelection(selection);
  Q_EMIT changed();
}

void LibraryPageModel::clearFilters() {
  m_lists.setBook({});
  m_lists.setTopic({});
  if (m_model)
    m_model->setLibrarySearch({});
  m_searchDirty = false;
  m_lists.setSearch({});
  m_lists.update();
  Q_EMIT changed();
}

} // namespace brindlewick
