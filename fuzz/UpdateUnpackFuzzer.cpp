// Unpacks arbitrary bytes (as a tar stream the harness compresses first, so mutations reach the
// tar headers, or as given when they start like gzip) into a staging folder beside a folder
// that stands for the rest of the disk, then checks the program folders an install could take
// from it. Refusals are expected; a fault is anything that lands or points outside:
// - the sandbox around the staging folder changes;
// - the staging folder holds anything but files (0600 or 0700), folders (0700) and links, or
//   a link that, followed as the system follows it, leads out of the staging folder;
// - a program folder (lib/brindlewick, at the top or below one folder) whose links were
//   accepted holds a link that leads out of it.
// And any crash, sanitizer report or exception other than ArchiveError.
#include "update/ArchiveExtractor.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace brindlewick;

namespace {

const QByteArray baitContents = "the rest of the disk";

void require(bool holds) {
  if (!holds)
    std::abort();
}

QByteArray gzipped(const QByteArray& data) {
  z_stream stream{};
  require(deflateInit2(&stream, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK);
  QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = uInt(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  require(deflate(&stream, Z_FINISH) == Z_STREAM_END);
  out.resize(qsizetype(stream.total_out));
  deflateEnd(&stream);
  return out;
}

// The sandbox, made once: memory-backed where there is /dev/shm, as every file is flushed.
const QString& sandbox() {
  static const QString folder = [] {
    QByteArray name =
        (QDir(QStringLiteral("/dev/shm")).exists() ? QByteArray("/dev/shm") : QDir::tempPath().toUtf8()) +
        "/brindlewick-unpack-XXXXXX";
    require(::mkdtemp(name.data()) != nullptr);
    const QString made = QFile::decodeName(name);
    require(QDir(made).mkdir(QStringLiteral("outside")));
    QFile bait(made + QStringLiteral("/outside/bait"));
    require(bait.open(QIODevice::WriteOnly) && bait.write(baitContents) == baitContents.size());
    std::atexit([] { QDir(sandbox()).removeRecursively(); });
    return made;
  }();
  return folder;
}

struct stat statusOf(const QString& path) {
  struct stat status {};
  require(::lstat(QFile::encodeName(path).constData(), &status) == 0);
  return status;
}

QString linkTarget(const QString& path) {
  QByteArray target(8192, '\0');
  const ssize_t length =
      ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
  require(length >= 0 && length < target.size());
  return QFile::decodeName(target.left(length));
}

enum class Reach { inside, outside };

// Follows `target` from the folder `at` (its parts below `root`) as the system would: ".."
// climbs from where the walk has got to, links met are followed in turn. A part that is
// missing or not a folder would stop the system; the walk goes on by name there, which reaches
// at least as far. Past 40 links the system gives up, and reaches nothing.
Reach follow(const QString& root, QStringList& at, const QString& target, int links = 0) {
  if (target.startsWith(QLatin1Char('/')))
    return Reach::outside;
  if (links > 40)
    return Reach::inside;
  for (const QString& part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (part == QLatin1String("."))
      continue;
    if (part == QLatin1String("..")) {
      if (at.isEmpty())
        return Reach::outside;
      at.removeLast();
      continue;
    }
    at.append(part);
    struct stat status {};
    const QString path = root + QLatin1Char('/') + at.join(QLatin1Char('/'));
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode)) {
      at.removeLast();
      if (follow(root, at, linkTarget(path), links + 1) == Reach::outside)
        return Reach::outside;
    }
  }
  return Reach::inside;
}

// Every link under `root` leads to somewhere under it; `below` is where the walk is.
void requireLinksLeadInside(const QString& root, const QStringList& below = {}) {
  const QString folder = below.isEmpty() ? root : root + QLatin1Char('/') + below.join(QLatin1Char('/'));
  for (const QString& name :
       QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
    const QString path = folder + QLatin1Char('/') + name;
    const struct stat status = statusOf(path);
    if (S_ISLNK(status.st_mode)) {
      QStringList at = below;
      require(follow(root, at, linkTarget(path)) == Reach::inside);
    } else if (S_ISDIR(status.st_mode)) {
      requireLinksLeadInside(root, below + QStringList{name});
    }
  }
}

// Files, folders and links only, with the modes the extractor gives them.
void requireOnlyPrivateEntries(const QString& folder) {
  for (const QString& name :
       QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
    const QString path = folder + QLatin1Char('/') + name;
    const struct stat status = statusOf(path);
    const mode_t mode = status.st_mode & 07777;
    if (S_ISDIR(status.st_mode)) {
      require(mode == 0700);
      requireOnlyPrivateEntries(path);
    } else {
      require(S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && (mode == 0600 || mode == 0700)));
    }
  }
}

bool isRealFolder(const QString& path) {
  struct stat status {};
  return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Where an install could find its program folder.
QStringList programFolders(const QString& staging) {
  QStringList tops{QString()};
  for (const QString& name : QDir(staging).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
    tops.append(name + QLatin1Char('/'));
  QStringList found;
  for (const QString& top : tops) {
    const QString lib = staging + QLatin1Char('/') + top + QStringLiteral("lib");
    if ((top.isEmpty() || isRealFolder(staging + QLatin1Char('/') + top)) && isRealFolder(lib) &&
        isRealFolder(lib + QStringLiteral("/brindlewick")))
      found.append(lib + QStringLiteral("/brindlewick"));
  }
  return found;
}

void requireSandboxUntouched() {
  require(QDir(sandbox()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot) ==
          QStringList{QStringLiteral("outside")});
  require(QDir(sandbox() + QStringLiteral("/outside"))
              .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot) ==
          QStringList{QStringLiteral("bait")});
  QFile bait(sandbox() + QStringLiteral("/outside/bait"));
  require(S_ISREG(statusOf(bait.fileName()).st_mode) && bait.open(QIODevice::ReadOnly) &&
          bait.readAll() == baitContents);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  QByteArray archive = input.startsWith("\x1f\x8b") ? input : gzipped(input);
  const QString staging = sandbox() + QStringLiteral("/staging");
  require(::mkdir(QFile::encodeName(staging).constData(), 0700) == 0);

  QBuffer buffer(&archive);
  buffer.open(QIODevice::ReadOnly);
  const ArchiveLimits limits{
      .maximumEntryBytes = 1 << 20, .maximumTotalBytes = 4 << 20, .maximumEntries = 256};
  try {
    extractArchive(buffer, staging, limits);
  } catch (const ArchiveError&) {
  }
  // Refused part-way or not, what was written is inside and private.
  requireOnlyPrivateEntries(staging);
  requireLinksLeadInside(staging);
  for (const QString& program : programFolders(staging)) {
    try {
      requireLinksInside(program, staging);
    } catch (const ArchiveError&) {
      continue;
    }
    requireLinksLeadInside(program);
  }

  require(QDir(staging).removeRecursively());
  requireSandboxUntouched();
  return 0;
}
