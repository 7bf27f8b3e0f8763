#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

class QIODevice;

namespace brindlewick {

// A downloaded update, opened once. Its signature is checked over the bytes of this open file
// and the same bytes are what is unpacked or kept: a file put in its place by name afterwards,
// or the name removed, changes nothing. Only the bytes there were when it was opened count; a
// file cut shorter since reads as one that ends early.
//
// Immutable once made and read through independent readers, so it may be handed from thread
// to thread and read by several at once.
class DownloadedUpdate {
public:
  // Opens `path`: a regular file, never through a link (nor a pipe that would never answer).
  // Throws ArchiveError ("The update archive could not be read: …").
  static std::shared_ptr<const DownloadedUpdate> open(const QString& path);

  ~DownloadedUpdate();
  DownloadedUpdate(const DownloadedUpdate&) = delete;
  DownloadedUpdate& operator=(const DownloadedUpdate&) = delete;

  // Where it was opened from; only for messages, never read again.
  const QString& path() const { return m_path; }
  qint64 size() const { return m_size; }

  // True when `signature` is the pure Ed25519 signature of these bytes under `publicKey`.
  bool hasSignature(QByteArrayView publicKey, QByteArrayView signature) const;

  // A device that reads these bytes from the start, open and with a position of its own.
  std::unique_ptr<QIODevice> reader() const;

private:
  DownloadedUpdate(QString path, int descriptor, qint64 size);

  QString m_path;
  int m_descriptor;
  qint64 m_size;
};

} // namespace brindlewick
