#include "update/UpdateFeed.h"

#include "foundation/Json.h"
#include "service/NativeAPIClient.h"

#include <QStringList>

#include <array>

namespace brindlewick {

using namespace Qt::StringLiterals;

UpdateFeedError::UpdateFeedError(const QString& problem)
    : m_description(u"The update feed is not a valid update feed: "_s + problem),
      m_what(m_description.toUtf8()) {}

namespace {

constexpr qsizetype signatureBytes = 64;

// The members of an entry, in this order; the tree reader names a value's path only when it
// throws, so a feed of many entries is read without building any path text.
const std::array<QLatin1StringView, 6> entryKeys{"version"_L1,   "url"_L1,   "length"_L1,
                                                 "signature"_L1, "notes"_L1, "minimumVersion"_L1};
const std::array<QLatin1StringView, 1> feedKeys{"releases"_L1};

UpdateVersion readVersion(const Json::Tree::Value& value, const Json::Path& path) {
  const QString text = Json::readString(value, path);
  std::optional<UpdateVersion> version = UpdateVersion::parse(text);
  if (!version) {
    const QString why = UpdateVersion::refusal(text);
    throw UpdateFeedError(path.toString() + u": \""_s + text + u"\" is not a version"_s +
                          (why.isEmpty() ? QString() : u": "_s + why));
  }
  return *version;
}

UpdateRelease readRelease(const Json::Tree::Value& value, const Json::Path& path) {
  const Json::Members<6> entry(value, path, entryKeys);
  // An added key may mean something this build would ignore: exactly these six (the parser
  // has refused a key given twice already, and a missing one is refused as it is read).
  if (value.size() != 6) {
    QStringList names;
    for (const QLatin1StringView key : entryKeys)
      names.append(key);
    throw UpdateFeedError(path.toString() + u" must have exactly the keys "_s + names.join(u", "_s));
  }
  UpdateRelease release{readVersion(entry.required(0), entry.path(0)), {}, 0, {}, {}, std::nullopt};

  const QString address = Json::readString(entry.required(1), entry.path(1));
  release.url = QUrl(address, QUrl::StrictMode);
  if (!NativeAPIClient::isFetchable(release.url) || release.url.scheme() != "https"_L1)
    throw UpdateFeedError(entry.path(1).toString() + u": not an https address"_s);

  release.length = Json::readInteger(entry.required(2), entry.path(2));
  if (release.length < 1 || release.length > UpdateFeed::maximumArchiveBytes)
    throw UpdateFeedError(entry.path(2).toString() + u": not a size an update can have"_s);

  const QString signature = Json::readString(entry.required(3), entry.path(3));
  auto decoded =
      QByteArray::fromBase64Encoding(signature.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded || decoded.decoded.size() != signatureBytes || signature.size() % 4 != 0)
    throw UpdateFeedError(entry.path(3).toString() + u": not the base64 of a 64-byte signature"_s);
  release.signature = decoded.decoded;

  release.notes = Json::readString(entry.required(4), entry.path(4));
  entry.required(5); // present, if only as null
  if (const std::optional<Json::Tree::Value> minimum = entry.optional(5))
    release.minimumVersion = readVersion(*minimum, entry.path(5));
  return release;
}

} // namespace

QList<UpdateRelease> UpdateFeed::parse(const QByteArray& document) {
  try {
    const Json::Tree tree(document);
    const Json::Tree::Value root = tree.root();
    const Json::Path top;
    const Json::Members<1> feed(root, top, feedKeys);
    if (root.size() != 1)
      throw UpdateFeedError(u"the feed must have exactly the keys releases"_s);
    const Json::Path releasesPath = feed.path(0);
    return Json::readArray(feed.required(0), releasesPath, readRelease);
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
