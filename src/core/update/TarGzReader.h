#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QIODevice;

namespace brindlewick {

// An archive that cannot be read or unpacked safely. The message is a whole sentence for the
// reader ("The update archive is damaged: it ends early.").
class ArchiveError : public std::exception {
public:
  explicit ArchiveError(QString message) : m_message(std::move(message)), m_what(m_message.toUtf8()) {}
  const QString& message() const { return m_message; }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_message;
  QByteArray m_what;
};

// What an archive may hold before it is refused unread. A release is a few megabytes; these
// leave it ample room and keep a hostile one from filling the disk or the memory.
struct ArchiveLimits {
  qint64 maximumEntryBytes = qint64(256) << 20;
  // The sum of every entry's contents, metadata entries included.
  qint64 maximumTotalBytes = qint64(512) << 20;
  int maximumEntries = 4096;
  int maximumPathBytes = 1024;
};

struct ArchiveEntry {
  enum class Kind { file, folder, link };
  Kind kind = Kind::file;
  // As the archive names it, not yet checked: it may be absolute or hold "..".
  QString path;
  // The target of a link, as written in the archive.
  QString linkTarget;
  bool executable = false;
  qint64 size = 0;
};

// Reads a gzip-compressed tar archive (ustar, with the pax and GNU long-name extensions) one
// entry at a time, streaming: only the current block is held in memory. Regular files,
// folders and symbolic links come out; any other kind of entry, a damaged header, a truncated
// stream, data after the end and anything beyond the limits throw ArchiveError.
class TarGzReader {
public:
  // `source` must be open for reading and outlive the reader.
  explicit TarGzReader(QIODevice& source, ArchiveLimits limits = {});
  ~TarGzReader();
  TarGzReader(const TarGzReader&) = delete;
  TarGzReader& operator=(const TarGzReader&) = delete;

  // The next entry, or none once the archive's end marker and the gzip trailer have been read
  // and checked. Contents of the previous entry that were not read are skipped.
  std::optional<ArchiveEntry> next();
  // Hands the current file's contents to `sink` piece by piece, at most once per entry.
  void readContents(const std::function<void(QByteArrayView)>& sink);

private:
  class Inflater;

  void readBlock(char* block);
  void skip(qint64 bytes);
  QByteArray readMetadata(qint64 size);
  void finish();

  std::unique_ptr<Inflater> m_inflater;
  ArchiveLimits m_limits;
  int m_entries = 0;
  qint64 m_total = 0;
  // Bytes of the current entry (contents and padding) not yet consumed.
  qint64 m_pendingContents = 0;
  qint64 m_pendingPadding = 0;
  bool m_ended = false;
};

} // namespace brindlewick
