#pragma once

#include "update/TarGzReader.h"

#include <QString>

class QIODevice;

namespace brindlewick {

// Unpacks a gzip-compressed tar archive into a folder, refusing anything that would land
// outside it: absolute names, names with "..", links whose target leaves the folder (or is
// absolute), and names that lead through a link. Nothing is ever written through a link and
// nothing already there is replaced, so a refusal part-way leaves whatever was written inside
// the folder and touches nothing outside. Files are created 0600 (0700 when the archive marks
// them executable), folders 0700, each file flushed to disk before the next.
//
// `destination` must be an existing folder; the caller removes it after a refusal. Throws
// ArchiveError with the reason. Blocking: run it off the main thread.
void extractArchive(QIODevice& archive, const QString& destination, ArchiveLimits limits = {});
void extractArchive(const QString& archivePath, const QString& destination, ArchiveLimits limits = {});

// Only part of what was unpacked into `unpackedInto` may be put in place: `folder`, inside it.
// A link in there that stayed inside the unpacked whole may still point out of that part
// ("home -> ../../bin"). Throws ArchiveError naming the first link whose target, resolved by
// name from where it stands, leaves `folder` (or climbs out of it on the way); its name is
// given as the archive has it, relative to `unpackedInto`. Blocking.
void requireLinksInside(const QString& folder, const QString& unpackedInto);

} // namespace brindlewick
