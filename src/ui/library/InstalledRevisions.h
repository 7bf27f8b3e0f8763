#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace brindlewick {

class ContentRepository;

// The revision of every drop of the installed release by id, made once per release: rows
// check for a corrected revision on every recycle, and a walk of the release each time would
// cost a scan of thousands of drops per row. One per repository, kept up to date with it.
class InstalledRevisions : public QObject {
  Q_OBJECT

public:
  static const InstalledRevisions& of(const ContentRepository& repository);

  // The installed revision of a drop; none when the release does not hold it.
  std::optional<qint64> revision(const QString& dropId) const;

private:
  explicit InstalledRevisions(const ContentRepository& repository);
  void rebuild();

  const ContentRepository& m_repository;
  QHash<QString, qint64> m_revisions;
};

} // namespace brindlewick
