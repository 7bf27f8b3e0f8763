// Feeds arbitrary bytes to the update feed's reader and to the choice of the release to offer.
// A first line that reads as a version is the running one (else 1.4.0), the rest the feed.
// Refusals are expected, as UpdateFeedError saying so; anything else is a fault: a crash, a
// sanitizer report, another exception, a release that breaks what the reader promises (an
// https address, a size an update can have, a 64-byte signature, versions that read back as
// themselves and compare consistently), or an offer that is not the newest release newer than
// the running version and allowed to it.
#include "update/UpdateFeed.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

using namespace brindlewick;

namespace {

void require(bool holds) {
  if (!holds)
    std::abort();
}

void requireReadsBack(const UpdateVersion& version) {
  const std::optional<UpdateVersion> again = UpdateVersion::parse(version.text());
  require(again && *again == version && again->text() == version.text());
}

bool allowed(const UpdateRelease& release, const UpdateVersion& running) {
  return release.version > running && (!release.minimumVersion || running >= *release.minimumVersion);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  const qsizetype newline = input.indexOf('\n');
  std::optional<UpdateVersion> running =
      newline >= 0 ? UpdateVersion::parse(QString::fromUtf8(input.left(newline))) : std::nullopt;
  const QByteArray feed = running ? input.mid(newline + 1) : input;
  if (!running)
    running = UpdateVersion::parse(QStringLiteral("1.4.0"));

  QList<UpdateRelease> releases;
  try {
    releases = UpdateFeed::parse(feed);
  } catch (const UpdateFeedError& error) {
    require(error.description().startsWith(QLatin1String("The update feed is not a valid update feed: ")));
    return 0;
  }

  for (const UpdateRelease& release : releases) {
    require(release.url.scheme() == QLatin1String("https") && !release.url.host().isEmpty() &&
            release.url.userName().isEmpty() && release.url.password().isEmpty());
    require(release.length >= 1 && release.length <= UpdateFeed::maximumArchiveBytes);
    require(release.signature.size() == 64);
    requireReadsBack(release.version);
    if (release.minimumVersion)
      requireReadsBack(*release.minimumVersion);
  }
  // The order is one: antisymmetric, and equal exactly when neither is newer.
  const qsizetype compared = std::min<qsizetype>(releases.size(), 32);
  for (qsizetype i = 0; i < compared; ++i) {
    for (qsizetype j = 0; j < compared; ++j) {
      const UpdateVersion& a = releases[i].version;
      const UpdateVersion& b = releases[j].version;
      require(((a <=> b) < 0) == ((b <=> a) > 0));
      require((a == b) == (!(a < b) && !(b < a)));
    }
  }

  const std::optional<UpdateRelease> offered = UpdateFeed::newestOffered(releases, *running);
  for (const UpdateRelease& release : releases) {
    if (allowed(release, *running))
      require(offered && release.version <= offered->version);
  }
  if (offered)
    require(allowed(*offered, *running));
  return 0;
}
