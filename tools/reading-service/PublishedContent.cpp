#include "PublishedContent.h"

#include "foundation/Json.h"

#include <QFile>

namespace brindlewick {

namespace {

// Accepts a release whatever minimum version it asks for: compatibility is the client's check.
const QString anyVersion = QStringLiteral("999999999.0.0");

} // namespace

ContentManifest manifestFor(const ContentRelease& release, const QByteArray& body) {
  ContentManifest manifest;
  manifest.schemaVersion = release.schemaVersion;
  manifest.releaseId = release.releaseId;
  manifest.publishedAt = release.publishedAt;
  manifest.minimumAppVersion = release.minimumAppVersion;
  manifest.loreCount = release.lore.size();
  manifest.checksumSha256 = ContractRules::sha256Hex(body);
  manifest.byteLength = body.size();
  return manifest;
}

const PublishedContent::Release& PublishedContent::publish(const QByteArray& body) {
  auto published = std::make_shared<Release>();
  published->body = body;
  published->release = ContractValidation::decodeRelease(body, true, anyVersion);
  const ContentManifest& manifest = published->manifest = manifestFor(published->release, body);
  published->manifestBody = Json::serialize(manifest.encode());
  published->etag = '"' + manifest.checksumSha256.toLatin1() + '"';

  const QString& id = manifest.releaseId;
  m_served.insert(id, published);
  m_gone.remove(id);
  m_current = published;
  const QList<Drop>& drops = published->release.lore;
  for (qsizetype i = 0; i < drops.size(); ++i) {
    m_drops[drops[i].id].insert(drops[i].revision, Location{published, i});
  }
  return *published;
}

bool PublishedContent::publishSampleRelease() {
  QFile sample(QStringLiteral(":/sample-content/release.json"));
  if (!sample.open(QIODevice::ReadOnly)) {
    return false;
  }
  publish(sample.readAll());
  return true;
}

bool PublishedContent::makeCurrent(const QString& releaseId) {
  const auto found = m_served.constFind(releaseId);
  if (found == m_served.constEnd()) {
    return false;
  }
  m_current = *found;
  return true;
}

void PublishedContent::unpublish(const QString& releaseId, int status) {
  m_served.remove(releaseId);
  m_gone.insert(releaseId, status);
}

const PublishedContent::Release* PublishedContent::release(const QString& releaseId) const {
  const auto found = m_served.constFind(releaseId);
  return found == m_served.constEnd() ? nullptr : found->get();
}

std::optional<int> PublishedContent::goneStatus(const QString& releaseId) const {
  const auto found = m_gone.constFind(releaseId);
  if (found == m_gone.constEnd()) {
    return std::nullopt;
  }
  return *found;
}

std::optional<DropSnapshot> PublishedContent::snapshot(const QString& dropId, qint64 revision) const {
  const auto revisions = m_drops.constFind(dropId);
  if (revisions == m_drops.constEnd()) {
    return std::nullopt;
  }
  const auto location = revisions->constFind(revision);
  if (location == revisions->constEnd()) {
    return std::nullopt;
  }
  const ContentRelease& release = location->release->release;
  return DropSnapshot(release.lore[location->index], release);
}

} // namespace brindlewick
