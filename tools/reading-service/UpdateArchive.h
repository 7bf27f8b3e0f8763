#pragma once

#include <QByteArray>
#include <QString>

namespace brindlewick {

// A small per-user release archive of `version` (gzip-compressed tar) in the layout the
// project's own release archive has, for the stand-in to offer as an update.
QByteArray sampleUpdateArchive(const QString& version);

} // namespace brindlewick
