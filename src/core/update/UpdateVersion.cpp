#include "update/UpdateVersion.h"

#include <algorithm>
#include <limits>

namespace brindlewick {

namespace {

enum class PartReading { number, notDigits, tooLarge, tooLong };

// Digits alone, of a value that fits in 64 bits, written in at most maximumDigits digits.
PartReading readPart(QStringView part, quint64& value) {
  constexpr quint64 largest = std::numeric_limits<quint64>::max();
  if (part.isEmpty())
    return PartReading::notDigits;
  value = 0;
  bool tooLarge = false;
  for (const QChar c : part) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
      return PartReading::notDigits;
    const quint64 digit = c.unicode() - u'0';
    if (value > (largest - digit) / 10)
      tooLarge = true;
    else
      value = value * 10 + digit;
  }
  if (tooLarge)
    return PartReading::tooLarge;
  return part.size() > UpdateVersion::maximumDigits ? PartReading::tooLong : PartReading::number;
}

} // namespace

std::optional<UpdateVersion> UpdateVersion::parse(QStringView text) {
  QList<quint64> parts;
  for (const QStringView part : text.split(QLatin1Char('.'))) {
    quint64 value = 0;
    if (parts.size() == maximumParts || readPart(part, value) != PartReading::number)
      return std::nullopt;
    parts.append(value);
  }
  return UpdateVersion(text.toString(), std::move(parts));
}

QString UpdateVersion::refusal(QStringView text) {
  const QList<QStringView> parts = text.split(QLatin1Char('.'));
  quint64 value = 0;
  // A part that is not digits says all there is to say; a number too large needs the limit.
  for (const QStringView part : parts) {
    if (readPart(part, value) == PartReading::notDigits)
      return {};
  }
  for (const QStringView part : parts) {
    const PartReading reading = readPart(part, value);
    if (reading == PartReading::tooLarge)
      return QStringLiteral("its part %1 is larger than %2")
          .arg(part.toString())
          .arg(std::numeric_limits<quint64>::max());
    if (reading == PartReading::tooLong)
      return QStringLiteral("its part %1 has more than %2 digits").arg(part.toString()).arg(maximumDigits);
  }
  if (parts.size() > maximumParts)
    return QStringLiteral("it has more than %1 parts").arg(maximumParts);
  return {};
}

std::strong_ordering operator<=>(const UpdateVersion& a, const UpdateVersion& b) {
  const qsizetype count = std::max(a.m_parts.size(), b.m_parts.size());
  for (qsizetype i = 0; i < count; ++i) {
    const quint64 left = a.m_parts.value(i, 0);
    const quint64 right = b.m_parts.value(i, 0);
    if (left != right)
      return left <=> right;
  }
  return std::strong_ordering::equal;
}

} // namespace brindlewick
