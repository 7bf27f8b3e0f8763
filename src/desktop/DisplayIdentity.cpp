#include "desktop/DisplayIdentity.h"

#include <QScreen>

namespace brindlewick {

DisplayIdentity DisplayIdentity::of(const QScreen& screen) {
  return DisplayIdentity{screen.name(), screen.manufacturer(), screen.model(), screen.serialNumber()};
}

quint32 DisplayIdentity::displayId() const {
  constexpr quint32 offsetBasis = 2166136261u;
  constexpr quint32 prime = 16777619u;
  QString key = manufacturer + QChar(0x1f) + model + QChar(0x1f) + serialNumber;
  if (serialNumber.isEmpty())
    key = name + QChar(0x1f) + key;
  quint32 hash = offsetBasis;
  for (const char byte : key.toUtf8()) {
    hash ^= static_cast<quint8>(byte);
    hash *= prime;
  }
  return hash == 0 ? 1 : hash;
}

} // namespace brindlewick
