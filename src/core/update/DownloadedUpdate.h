#pragma once

#include "update/SealedCopy.h"

#include <QByteArrayView>
#include <QCoroTask>
#include <QString>

#include <memory>

class QIODevice;

namespace brindlewick {

// A downloaded update, opened once and copied at once into memory nobody can change
// (update/SealedCopy.h). Its signature is checked over that copy and the same copy is what is
// unpacked or kept: a file put in its place by name afterwards, the name removed, or a write
// into the file itself, even in place, changes nothing, and a file cut shorter while it is
// copied is an error, never a crash. It holds memory of the archive's size while it lives.
//
// Immutable once made and read through independent readers, so it may be handed from thread
// to thread and read by several at once.
class DownloadedUpdate {
public:
  // Opens `path`: a regular file, never through a link (nor a pipe that would never answer).
  // Throws ArchiveError ("The update archive could not be read: …").
  static std::shared_ptr<const DownloadedUpdate> open(const QString& path);
  // open() on a worker thread (copying a large archive takes a moment), its answer coming
  // back on the main thread's event loop. Throws ArchiveError.
  static QCoro::Task<std::shared_ptr<const DownloadedUpdate>> openInBackground(QString path);

  DownloadedUpdate(const DownloadedUpdate&) = delete;
  DownloadedUpdate& operator=(const DownloadedUpdate&) = delete;

  // Where it was opened from; only for messages, never read again.
  const QString& path() const { return m_path; }
  qint64 size() const { return m_copy.size(); }

  // True when `signature` is the pure Ed25519 signature of these bytes under `publicKey`.
  bool hasSignature(QByteArrayView publicKey, QByteArrayView signature) const;

  // A device that reads these bytes from the start, open and with a position of its own.
  std::unique_ptr<QIODevice> reader() const;

private:
  DownloadedUpdate(QString path, SealedCopy copy);

  QString m_path;
  SealedCopy m_copy;
};

} // namespace brindlewick
