#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <compare>
#include <optional>

namespace brindlewick {

// A release's version: dot-separated non-negative integers ("1.4.0"), compared number by
// number, so "1.10" is newer than "1.9", and missing parts count as zero, so "1.4" equals
// "1.4.0". Each part is a whole number that fits in 64 bits, leading zeros allowed.
class UpdateVersion {
public:
  // More parts, or a part of more digits than the largest 64-bit number has, is no version
  // of ours: a version also names a file, whose name stays short.
  static constexpr qsizetype maximumParts = 8;
  static constexpr qsizetype maximumDigits = 20;

  // None for anything else: an empty part, a sign, white space, a letter, a part past
  // 18446744073709551615 or of more digits.
  static std::optional<UpdateVersion> parse(QStringView text);
  // Why parse() refuses `text`, as a phrase that follows "is not a version" ("its part
  // 18446744073709551616 is larger than 18446744073709551615"); empty when it does not, or
  // when there is no more to say than that.
  static QString refusal(QStringView text);

  const QString& text() const { return m_text; }

  friend std::strong_ordering operator<=>(const UpdateVersion& a, const UpdateVersion& b);
  friend bool operator==(const UpdateVersion& a, const UpdateVersion& b) { return (a <=> b) == 0; }

private:
  UpdateVersion(QString text, QList<quint64> parts) : m_text(std::move(text)), m_parts(std::move(parts)) {}

  QString m_text;
  QList<quint64> m_parts;
};

} // namespace brindlewick
