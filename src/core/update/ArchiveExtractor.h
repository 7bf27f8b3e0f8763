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

} // namespace brindlewick
