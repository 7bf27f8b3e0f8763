// Feeds arbitrary bytes to the update archive reader: as a tar stream that the harness
// compresses first (so mutations reach the tar headers instead of ending at the gzip checksum),
// and, when the input starts like gzip, as the compressed archive itself. Refusals are
// expected; anything else (a crash, a sanitizer report, another exception, contents longer or
// shorter than the entry announced, more than the limits let through) is a fault.
#include "update/TarGzReader.h"

#include <QBuffer>

#include <zlib.h>

#include <cstdint>
#include <cstdlib>

using namespace brindlewick;

namespace {

QByteArray gzipped(const QByteArray& data) {
  z_stream stream{};
  if (deflateInit2(&stream, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    std::abort();
  QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = uInt(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
    std::abort();
  out.resize(qsizetype(stream.total_out));
  deflateEnd(&stream);
  return out;
}

void readAll(QByteArray archive) {
  const ArchiveLimits limits{
      .maximumEntryBytes = 1 << 20, .maximumTotalBytes = 4 << 20, .maximumEntries = 256};
  QBuffer buffer(&archive);
  buffer.open(QIODevice::ReadOnly);
  try {
    TarGzReader reader(buffer, limits);
    int entries = 0;
    qint64 total = 0;
    while (const std::optional<ArchiveEntry> entry = reader.next()) {
      ++entries;
      total += entry->size;
      if (entries > limits.maximumEntries || entry->size > limits.maximumEntryBytes ||
          total > limits.maximumTotalBytes)
        std::abort();
      // Every other file is read, the rest skipped, so both ways through are taken.
      if (entry->kind == ArchiveEntry::Kind::file && entries % 2 == 1) {
        qint64 read = 0;
        reader.readContents([&](QByteArrayView piece) { read += piece.size(); });
        if (read != entry->size)
          std::abort();
      }
    }
  } catch (const ArchiveError&) {
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  readAll(gzipped(input));
  if (input.startsWith("\x1f\x8b"))
    readAll(input);
  return 0;
}
