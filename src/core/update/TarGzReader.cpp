#include "update/TarGzReader.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace brindlewick {

namespace {

constexpr qint64 tarBlock = 512;
// The pieces the contents of a file are handed on in.
constexpr qint64 contentsChunk = 64 * 1024;
// Pax and GNU long-name headers carry a few names; anything larger is not one we wrote.
constexpr qint64 maximumMetadataBytes = 64 * 1024;
// After the end marker a writer pads the stream to its record size (10 KiB for tar).
constexpr qint64 maximumEndPadding = 1 << 20;

ArchiveError damagedArchive(const QString& problem) {
  return ArchiveError(QStringLiteral("The update archive is damaged: %1.").arg(problem));
}

QString quotedEntryName(const QString& name) {
  return QLatin1Char('"') + name + QLatin1Char('"');
}

// A NUL-terminated text field of a header.
QByteArray headerText(const char* header, int offset, int length) {
  const char* start = header + offset;
  const auto* end = static_cast<const char*>(std::memchr(start, 0, size_t(length)));
  return QByteArray(start, end ? end - start : length);
}

// An octal number field: leading spaces, octal digits, then a space or NUL to the end.
std::optional<qint64> headerNumber(const char* header, int offset, int length) {
  int i = offset;
  const int end = offset + length;
  while (i < end && header[i] == ' ')
    ++i;
  qint64 value = 0;
  int digits = 0;
  for (; i < end && header[i] >= '0' && header[i] <= '7'; ++i, ++digits) {
    if (value > (std::numeric_limits<qint64>::max() >> 3))
      return std::nullopt;
    value = value * 8 + (header[i] - '0');
  }
  for (; i < end; ++i) {
    if (header[i] != ' ' && header[i] != '\0')
      return std::nullopt;
  }
  if (digits == 0)
    return std::nullopt;
  return value;
}

bool checksumHolds(const char* header) {
  const std::optional<qint64> stored = headerNumber(header, 148, 8);
  if (!stored)
    return false;
  qint64 unsignedSum = 0;
  qint64 signedSum = 0;
  for (int i = 0; i < tarBlock; ++i) {
    const bool inField = i >= 148 && i < 156;
    unsignedSum += inField ? ' ' : static_cast<unsigned char>(header[i]);
    signedSum += inField ? ' ' : static_cast<signed char>(header[i]);
  }
  // Some old writers summed signed bytes; both mean the same header.
  return *stored == unsignedSum || *stored == signedSum;
}

QString nameText(const QByteArray& bytes) {
  const QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() != bytes || bytes.contains('\0'))
    throw ArchiveError(QStringLiteral("The update archive holds a name that is not UTF-8 text."));
  return text;
}

struct PaxValues {
  std::optional<QByteArray> path;
  std::optional<QByteArray> linkPath;
  std::optional<qint64> size;
};

// Records of the form "<length> <key>=<value>\n", the length counting the whole record.
PaxValues parsePax(const QByteArray& data) {
  PaxValues values;
  qsizetype at = 0;
  while (at < data.size()) {
    const qsizetype space = data.indexOf(' ', at);
    if (space < 0)
      throw damagedArchive(QStringLiteral("an extended header is malformed"));
    bool ok = false;
    const qint64 length = data.mid(at, space - at).toLongLong(&ok);
    if (!ok || length <= space - at + 1 || at + length > data.size() || data[at + length - 1] != '\n')
      throw damagedArchive(QStringLiteral("an extended header is malformed"));
    const QByteArray record = data.mid(space + 1, at + length - space - 2);
    const qsizetype equals = record.indexOf('=');
    if (equals < 0)
      throw damagedArchive(QStringLiteral("an extended header is malformed"));
    const QByteArray key = record.left(equals);
    const QByteArray value = record.mid(equals + 1);
    if (key == "path") {
      values.path = value;
    } else if (key == "linkpath") {
      values.linkPath = value;
    } else if (key == "size") {
      const qint64 size = value.toLongLong(&ok);
      if (!ok || size < 0)
        throw damagedArchive(QStringLiteral("an extended header is malformed"));
      values.size = size;
    }
    at += length;
  }
  return values;
}

QString sizeText(qint64 bytes) {
  return QStringLiteral("%1 MiB").arg(bytes >> 20);
}

} // namespace

class TarGzReader::Inflater {
public:
  // The stream is set up last: a constructor that throws runs no destructor to end it.
  explicit Inflater(QIODevice& source) : m_source(source) {
    if (!refill() || m_input.size() < 2 || m_input[0] != '\x1f' || m_input[1] != '\x8b')
      throw ArchiveError(QStringLiteral("The update archive is not a gzip-compressed tar archive."));
    // 16 + the window bits: a gzip wrapper, whose CRC and length zlib checks.
    if (inflateInit2(&m_stream, 16 + MAX_WBITS) != Z_OK)
      throw ArchiveError(QStringLiteral("The update archive could not be read: out of memory."));
  }
  ~Inflater() { inflateEnd(&m_stream); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Exactly `size` bytes of the uncompressed stream, or ArchiveError.
  void read(char* out, qint64 size) {
    m_stream.next_out = reinterpret_cast<Bytef*>(out);
    m_stream.avail_out = uInt(size);
    while (m_stream.avail_out > 0) {
      if (m_ended)
        throw damagedArchive(QStringLiteral("it ends early"));
      if (m_stream.avail_in == 0 && !refill())
        throw damagedArchive(QStringLiteral("it ends early"));
      const int status = inflate(&m_stream, Z_NO_FLUSH);
      if (status == Z_STREAM_END) {
        m_ended = true;
      } else if (status != Z_OK && status != Z_BUF_ERROR) {
        throw damagedArchive(m_stream.msg ? QString::fromLatin1(m_stream.msg)
                                          : QStringLiteral("it does not decompress"));
      }
    }
  }

  // Reads to the end of the compressed stream (at most `limit` more bytes), then requires
  // that nothing follows it.
  void finish(qint64 limit) {
    std::array<char, tarBlock> scratch{};
    qint64 drained = 0;
    while (!m_ended) {
      if (drained >= limit)
        throw damagedArchive(QStringLiteral("it goes on after its end marker"));
      m_stream.next_out = reinterpret_cast<Bytef*>(scratch.data());
      m_stream.avail_out = uInt(scratch.size());
      if (m_stream.avail_in == 0 && !refill())
        throw damagedArchive(QStringLiteral("it ends early"));
      const int status = inflate(&m_stream, Z_NO_FLUSH);
      if (status == Z_STREAM_END)
        m_ended = true;
      else if (status != Z_OK && status != Z_BUF_ERROR)
        throw damagedArchive(m_stream.msg ? QString::fromLatin1(m_stream.msg)
                                          : QStringLiteral("it does not decompress"));
      drained += qint64(scratch.size()) - m_stream.avail_out;
    }
    if (m_stream.avail_in > 0 || refill())
      throw damagedArchive(QStringLiteral("it has data after its end"));
  }

private:
  bool refill() {
    m_input.resize(contentsChunk);
    const qint64 got = m_source.read(m_input.data(), m_input.size());
    if (got < 0)
      throw ArchiveError(
          QStringLiteral("The update archive could not be read: %1.").arg(m_source.errorString()));
    m_input.resize(got);
    m_stream.next_in = reinterpret_cast<Bytef*>(m_input.data());
    m_stream.avail_in = uInt(got);
    return got > 0;
  }

  QIODevice& m_source;
  z_stream m_stream{};
  QByteArray m_input;
  bool m_ended = false;
};

TarGzReader::TarGzReader(QIODevice& source, ArchiveLimits limits)
    : m_inflater(std::make_unique<Inflater>(source)), m_limits(limits) {}

TarGzReader::~TarGzReader() = default;

void TarGzReader::readBlock(char* block) {
  m_inflater->read(block, tarBlock);
}

void TarGzReader::skip(qint64 bytes) {
  std::array<char, tarBlock> scratch{};
  while (bytes > 0) {
    const qint64 piece = std::min<qint64>(bytes, scratch.size());
    m_inflater->read(scratch.data(), piece);
    bytes -= piece;
  }
}

QByteArray TarGzReader::readMetadata(qint64 size) {
  if (size > maximumMetadataBytes)
    throw damagedArchive(QStringLiteral("an extended header is too large"));
  m_total += size;
  QByteArray data(size, Qt::Uninitialized);
  m_inflater->read(data.data(), size);
  skip((tarBlock - size % tarBlock) % tarBlock);
  return data;
}

std::optional<ArchiveEntry> TarGzReader::next() {
  if (m_ended)
    return std::nullopt;
  skip(m_pendingContents + m_pendingPadding);
  m_pendingContents = m_pendingPadding = 0;

  PaxValues pax;
  std::optional<QByteArray> longPath;
  std::optional<QByteArray> longLink;
  std::array<char, tarBlock> header{};
  for (;;) {
    readBlock(header.data());
    if (std::all_of(header.begin(), header.end(), [](char c) { return c == '\0'; })) {
      finish();
      return std::nullopt;
    }
    const QByteArray magic(header.data() + 257, 6);
    if (!magic.startsWith("ustar"))
      throw ArchiveError(QStringLiteral("The update archive is not a tar archive in the ustar format."));
    if (!checksumHolds(header.data()))
      throw damagedArchive(QStringLiteral("a header's checksum does not match"));
    if (++m_entries > m_limits.maximumEntries)
      throw ArchiveError(
          QStringLiteral("The update archive holds more than %1 entries.").arg(m_limits.maximumEntries));
    std::optional<qint64> size = headerNumber(header.data(), 124, 12);
    if (!size)
      throw damagedArchive(QStringLiteral("a header's size is unreadable"));

    const char type = header[156];
    if (type == 'x') {
      pax = parsePax(readMetadata(*size));
      continue;
    }
    if (type == 'g') {
      readMetadata(*size);
      continue;
    }
    if (type == 'L' || type == 'K') {
      const QByteArray data = readMetadata(*size);
      const qsizetype nul = data.indexOf('\0');
      (type == 'L' ? longPath : longLink) = nul < 0 ? data : data.left(nul);
      continue;
    }

    QByteArray pathBytes = headerText(header.data(), 0, 100);
    // The POSIX ustar prefix; a GNU header ("ustar  ") uses those bytes for other things.
    if (magic == QByteArray("ustar\0", 6)) {
      const QByteArray prefix = headerText(header.data(), 345, 155);
      if (!prefix.isEmpty())
        pathBytes = prefix + '/' + pathBytes;
    }
    pathBytes = pax.path.value_or(longPath.value_or(pathBytes));
    const QByteArray linkBytes =
        pax.linkPath.value_or(longLink.value_or(headerText(header.data(), 157, 100)));
    if (pax.size)
      size = pax.size;
    if (pathBytes.size() > m_limits.maximumPathBytes || linkBytes.size() > m_limits.maximumPathBytes)
      throw ArchiveError(QStringLiteral("The update archive holds a name longer than %1 bytes.")
                             .arg(m_limits.maximumPathBytes));

    ArchiveEntry entry;
    entry.path = nameText(pathBytes);
    switch (type) {
    case '0':
    case '\0':
    case '7': entry.kind = ArchiveEntry::Kind::file; break;
    case '5': entry.kind = ArchiveEntry::Kind::folder; break;
    case '2': entry.kind = ArchiveEntry::Kind::link; break;
    default:
      throw ArchiveError(
          QStringLiteral(
              "The update archive holds %1, which is neither a file, a folder nor a symbolic link.")
              .arg(quotedEntryName(entry.path)));
    }
    if (entry.kind == ArchiveEntry::Kind::link)
      entry.linkTarget = nameText(linkBytes);
    const std::optional<qint64> mode = headerNumber(header.data(), 100, 8);
    entry.executable = mode && (*mode & 0111) != 0;
    if (*size > m_limits.maximumEntryBytes)
      throw ArchiveError(QStringLiteral("The update archive holds %1, which is larger than %2.")
                             .arg(quotedEntryName(entry.path), sizeText(m_limits.maximumEntryBytes)));
    m_total += *size;
    if (m_total > m_limits.maximumTotalBytes)
      throw ArchiveError(QStringLiteral("The update archive unpacks to more than %1.")
                             .arg(sizeText(m_limits.maximumTotalBytes)));
    // Folders and links carry no contents; whatever a writer put there is passed over.
    entry.size = entry.kind == ArchiveEntry::Kind::file ? *size : 0;
    m_pendingContents = *size;
    m_pendingPadding = (tarBlock - *size % tarBlock) % tarBlock;
    if (entry.kind != ArchiveEntry::Kind::file) {
      skip(m_pendingContents + m_pendingPadding);
      m_pendingContents = m_pendingPadding = 0;
    }
    return entry;
  }
}

void TarGzReader::readContents(const std::function<void(QByteArrayView)>& sink) {
  QByteArray buffer;
  while (m_pendingContents > 0) {
    const qint64 piece = std::min(m_pendingContents, contentsChunk);
    buffer.resize(piece);
    m_inflater->read(buffer.data(), piece);
    m_pendingContents -= piece;
    sink(QByteArrayView(buffer));
  }
}

void TarGzReader::finish() {
  m_inflater->finish(maximumEndPadding);
  m_ended = true;
}

} // namespace brindlewick
