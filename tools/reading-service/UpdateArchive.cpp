#include "UpdateArchive.h"

namespace brindlewick {

QByteArray sampleUpdateArchive(const QString& version) {
  return QByteArrayLiteral("brindlewick-") + version.toUtf8();
}

} // namespace brindlewick
