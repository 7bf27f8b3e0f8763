#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <memory>

namespace brindlewick {

class ReadingService;

// The update feed and its archive, as a release host would serve them:
//   GET /updates/feed.json      one release, newer than the build, signed with the stand-in's key
//   GET /updates/<archive>      the archive that feed names
// and the broken variants the updater's tests meet:
//   GET /updates/feed-bad-signature.json   the signature of other bytes
//   GET /updates/feed-wrong-length.json    a length one byte longer than the archive
//   GET /updates/feed-short-length.json    a length one byte shorter than the archive
//   GET /updates/feed-malformed.json       a feed without its "releases"
// The key is made afresh for each stand-in unless one is given in PEM.
class StandInUpdates {
public:
  // The build's version with its minor part raised by one ("0.1.0" gives "0.2.0").
  static QString nextVersion();

  StandInUpdates();
  ~StandInUpdates();
  StandInUpdates(const StandInUpdates&) = delete;
  StandInUpdates& operator=(const StandInUpdates&) = delete;

  // Throws std::runtime_error for text that is not an Ed25519 private key.
  void setSigningKey(const QByteArray& pem);
  // The public key as a build's "SUPublicEDKey" carries it: base64 of its 32 bytes.
  QString publicKey() const;

  const QString& version() const { return m_version; }
  void setVersion(QString version);
  void setNotes(QString notes) { m_notes = std::move(notes); }

  // The archive's file name and bytes.
  QString archiveName() const;
  const QByteArray& archive() const { return m_archive; }
  QByteArray signature(const QByteArray& bytes) const;

  // The feed of a variant ("feed", "feed-bad-signature", …), its archive served by `base`.
  QByteArray feed(const QString& variant, const QUrl& base) const;

  // Serves the routes above.
  void install(ReadingService& service);

private:
  struct Key;
  std::unique_ptr<Key> m_key;
  QString m_version;
  QString m_notes;
  QByteArray m_archive;
};

} // namespace brindlewick
