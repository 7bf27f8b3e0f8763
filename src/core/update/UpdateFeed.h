#pragma once

#include "update/UpdateVersion.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <exception>
#include <optional>

namespace brindlewick {

// A feed that is not what the updater reads: not JSON, a key missing or added, a version that
// is no version, an address that is not https, a signature that is not 64 bytes. The text
// names the value concerned.
class UpdateFeedError : public std::exception {
public:
  explicit UpdateFeedError(const QString& problem);
  // "The update feed is not a valid update feed: " and the problem.
  const QString& description() const { return m_description; }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_description;
  QByteArray m_what;
};

// One release the feed announces.
struct UpdateRelease {
  UpdateVersion version;
  // The archive, over https.
  QUrl url;
  // The archive's exact size in bytes.
  qint64 length = 0;
  // The 64-byte Ed25519 signature over the archive's bytes.
  QByteArray signature;
  // Plain text, shown as it is.
  QString notes;
  // The oldest running version that may install it; none for any.
  std::optional<UpdateVersion> minimumVersion;
};

// The update feed: {"releases": [ … ]}, each entry with exactly the keys "version", "url",
// "length", "signature" (base64), "notes" and "minimumVersion" (null or a version). Entries
// come in any order.
namespace UpdateFeed {

// A feed larger than this is refused before it is read.
inline constexpr qint64 maximumBytes = 1024 * 1024;
// No archive of ours is larger.
inline constexpr qint64 maximumArchiveBytes = qint64(2) * 1024 * 1024 * 1024;

// Throws UpdateFeedError.
QList<UpdateRelease> parse(const QByteArray& document);

// The newest release that `running` may install and that is newer than it; none when it is
// up to date.
std::optional<UpdateRelease> newestOffered(const QList<UpdateRelease>& releases,
                                           const UpdateVersion& running);

} // namespace UpdateFeed

} // namespace brindlewick
