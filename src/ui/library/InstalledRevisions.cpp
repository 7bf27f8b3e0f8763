#include "ui/library/InstalledRevisions.h"

#include "content/ContentRepository.h"

namespace brindlewick {

namespace {
constexpr char kName[] = "brindlewick.installedRevisions";
}

const InstalledRevisions& InstalledRevisions::of(const ContentRepository& repository) {
  auto* mutableRepository = const_cast<ContentRepository*>(&repository);
  if (auto* existing =
          mutableRepository->findChild<InstalledRevisions*>(QLatin1String(kName), Qt::FindDirectChildrenOnly))
    return *existing;
  return *new InstalledRevisions(repository);
}

InstalledRevisions::InstalledRevisions(const ContentRepository& repository)
    : QObject(const_cast<ContentRepository*>(&repository)), m_repository(repository) {
  setObjectName(QLatin1String(kName));
  // Connected before any view's own handler, so views read the new release.
  connect(&repository, &ContentRepository::releaseChanged, this, &InstalledRevisions::rebuild);
  rebuild();
}

void InstalledRevisions::rebuild() {
  m_revisions.clear();
  if (const auto& release = m_repository.release()) {
    m_revisions.reserve(release->lore.size());
    for (const Drop& drop : release->lore)
      m_revisions.insert(drop.id, drop.revision);
  }
}

std::optional<qint64> InstalledRevisions::revision(const QString& dropId) const {
  const auto found = m_revisions.constFind(dropId);
  if (found == m_revisions.constEnd())
    return std::nullopt;
  return *found;
}

} // namespace brindlewick
