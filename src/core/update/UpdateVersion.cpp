#include "update/UpdateVersion.h"

#include <algorithm>

namespace brindlewick {

std::optional<UpdateVersion> UpdateVersion::parse(QStringView text) {
  QList<quint32> parts;
  for (const QStringView part : text.split(QLatin1Char('.'))) {
    if (part.isEmpty() || part.size() > maximumDigits || parts.size() == maximumParts)
      return std::nullopt;
    quint32 value = 0;
    for (const QChar c : part) {
      if (c < QLatin1Char('0') || c > QLatin1Char('9'))
        return std::nullopt;
      value = value * 10 + quint32(c.unicode() - u'0');
    }
    parts.append(value);
  }
  return UpdateVersion(text.toString(), std::move(parts));
}

std::strong_ordering operator<=>(const UpdateVersion& a, const UpdateVersion& b) {
  const qsizetype count = std::max(a.m_parts.size(), b.m_parts.size());
  for (qsizetype i = 0; i < count; ++i) {
    const quint32 left = a.m_parts.value(i, 0);
    const quint32 right = b.m_parts.value(i, 0);
    if (left != right)
      return left <=> right;
  }
  return std::strong_ordering::equal;
}

} // namespace brindlewick
