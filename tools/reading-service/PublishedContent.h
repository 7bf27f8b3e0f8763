#pragma once

#include "content/ContentContracts.h"
#include "content/ContentSnapshots.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace brindlewick {

// The manifest announcing `body`, whose decoded form is `release`.
ContentManifest manifestFor(const ContentRelease& release, const QByteArray& body);

// The content releases the stand-in has published, by release id, and the current one that
// the manifest announces. Publishing makes the manifest from the bytes themselves (length,
// SHA-256, drop count; the rest from the release), so that manifest and release cannot drift
// apart. Every release ever published stays known for building account snapshots, even once
// its bytes are no longer served.
class PublishedContent {
public:
  struct Release {
    QByteArray body;
    ContentRelease release;
    ContentManifest manifest;
    QByteArray manifestBody;
    QByteArray etag; // derived from the checksum, quotes included
  };

  // Decodes `body` strictly as a release (development releases and any minimum version
  // included: the client judges those) and makes it the current release. Throws the content
  // contract's errors for a body that is not a release; nothing changes then.
  const Release& publish(const QByteArray& body);
  // Publishes the sample release the build embeds; false when it has none.
  bool publishSampleRelease();
  // Makes a release published earlier, and still served, the current one again, at no cost
  // beyond the lookup (a benchmark alternates two releases); false for any other id.
  bool makeCurrent(const QString& releaseId);
  // From now on the release's bytes are answered with `status` (404 or 410). The manifest
  // goes on announcing it while it is current, as a cache that lags behind would.
  void unpublish(const QString& releaseId, int status);

  const Release* current() const { return m_current.get(); }
  // A published release whose bytes are still served; nullptr otherwise.
  const Release* release(const QString& releaseId) const;
  // The status of an unpublished release (404 or 410); nothing for any other id.
  std::optional<int> goneStatus(const QString& releaseId) const;

  // The drop `dropId` at `revision` in any release published so far, with the books and
  // sources it cites there.
  std::optional<DropSnapshot> snapshot(const QString& dropId, qint64 revision) const;

private:
  struct Location {
    std::shared_ptr<const Release> release;
    qsizetype index = 0;
  };

  QHash<QString, std::shared_ptr<const Release>> m_served;
  QHash<QString, int> m_gone;
  std::shared_ptr<const Release> m_current;
  QHash<QString, QHash<qint64, Location>> m_drops; // drop id -> revision -> where
};

} // namespace brindlewick
