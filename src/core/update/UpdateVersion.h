#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <compare>
#include <optional>

namespace brindlewick {

// A release's version: dot-separated non-negative integers ("1.4.0"), compared number by
// number, so "1.10" is newer than "1.9", and missing parts count as zero, so "1.4" equals
// "1.4.0".
class UpdateVersion {
public:
  // More parts, or a part of more digits, is no version of ours.
  static constexpr qsizetype maximumParts = 8;
  static constexpr qsizetype maximumDigits = 9;

  // None for anything else: an empty part, a sign, white space, a letter.
  static std::optional<UpdateVersion> parse(QStringView text);

  const QString& text() const { return m_text; }

  friend std::strong_ordering operator<=>(const UpdateVersion& a, const UpdateVersion& b);
  friend bool operator==(const UpdateVersion& a, const UpdateVersion& b) { return (a <=> b) == 0; }

private:
  UpdateVersion(QString text, QList<quint32> parts) : m_text(std::move(text)), m_parts(std::move(parts)) {}

  QString m_text;
  QList<quint32> m_parts;
};

} // namespace brindlewick
