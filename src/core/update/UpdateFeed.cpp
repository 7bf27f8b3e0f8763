#include "update/UpdateFeed.h"

#include "foundation/Json.h"
#include "service/NativeAPIClient.h"

#include <QJsonArray>

namespace brindlewick {

using namespace Qt::StringLiterals;

UpdateFeedError::UpdateFeedError(const QString& problem)
    : m_description(u"The update feed is malformed: "_s + problem), m_what(m_description.toUtf8()) {}

namespace {

constexpr qsizetype signatureBytes = 64;

const QStringList& entryKeys() {
  static const QStringList keys{u"length"_s, u"minimumVersion"_s, u"notes"_s,
                                u"signature"_s, u"url"_s, u"version"_s};
  return keys;
}

UpdateVersion readVersion(const JsonObjectReader& entry, QStringView key) {
  const QString text = entry.string(key);
  std::optional<UpdateVersion> version = UpdateVersion::parse(text);
  if (!version)
    throw UpdateFeedError(entry.pathOf(key) + u": \""_s + text + u"\" is not a version"_s);
  return *version;
}

// Keys compared as a set: an added key may mean something this build would ignore.
void requireKeys(const QJsonObject& object, const QStringList& keys, const QString& path) {
  QStringList present = object.keys();
  present.sort();
  if (present != keys) {
    const QString where = path.isEmpty() ? u"the feed"_s : path;
    throw UpdateFeedError(where + u" must have exactly the keys "_s + keys.join(u", "_s));
  }
}

UpdateRelease readRelease(const QJsonValue& value, const QString& path) {
  const JsonObjectReader entry(Json::toObject(value, path), path);
  requireKeys(entry.object(), entryKeys(), path);
  UpdateRelease release{readVersion(entry, u"version"), {}, 0, {}, {}, std::nullopt};

  const QString address = entry.string(u"url");
  release.url = QUrl(address, QUrl::StrictMode);
  if (!NativeAPIClient::isFetchable(release.url) || release.url.scheme() != "https"_L1)
    throw UpdateFeedError(entry.pathOf(u"url") + u": not an https address"_s);

  release.length = entry.int64(u"length");
  if (release.length < 1 || release.length > UpdateFeed::maximumArchiveBytes)
    throw UpdateFeedError(entry.pathOf(u"length") + u": not a size an update can have"_s);

  const QString signature = entry.string(u"signature");
  auto decoded =
      QByteArray::fromBase64Encoding(signature.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded || decoded.decoded.size() != signatureBytes || signature.size() % 4 != 0)
    throw UpdateFeedError(entry.pathOf(u"signature") + u": not the base64 of a 64-byte signature"_s);
  release.signature = decoded.decoded;

  release.notes = entry.string(u"notes");
  if (entry.hasValue(u"minimumVersion"))
    release.minimumVersion = readVersion(entry, u"minimumVersion");
  return release;
}

} // namespace

QList<UpdateRelease> UpdateFeed::parse(const QByteArray& document) {
  try {
    const QJsonObject root = Json::parseObject(document);
    requireKeys(root, {u"releases"_s}, {});
    const QJsonArray entries = Json::toArray(root.value("releases"_L1), u"releases"_s);
    QList<UpdateRelease> releases;
    releases.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i)
      releases.append(readRelease(entries.at(i), Json::element(u"releases"_s, i)));
    return releases;
  } catch (const JsonDecodingError& error) {
    throw UpdateFeedError(error.description());
  }
}

std::optional<UpdateRelease> UpdateFeed::newestOffered(const QList<UpdateRelease>& releases,
                                                       const UpdateVersion& running) {
  std::optional<UpdateRelease> newest;
  for (const UpdateRelease& release : releases) {
    if (release.version <= running || (release.minimumVersion && running < *release.minimumVersion))
      continue;
    if (!newest || newest->version < release.version)
      newest = release;
  }
  return newest;
}

} // namespace brindlewick
