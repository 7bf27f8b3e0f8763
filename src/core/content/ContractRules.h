#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <array>
#include <exception>
#include <optional>

namespace brindlewick {

// The one error of the content contract. Its message is shown to the reader unchanged, so it
// is fixed English text; two errors with the same message are the same error.
class ContractValidationError : public std::exception {
public:
  explicit ContractValidationError(QString message);

  const QString& message() const { return m_message; }
  const char* what() const noexcept override { return m_what.constData(); }

  friend bool operator==(const ContractValidationError& a, const ContractValidationError& b) {
    return a.m_message == b.m_message;
  }

private:
  QString m_message;
  QByteArray m_what;
};

namespace ContractRules {

// The 25 code points trimmed from text (U+0085 and U+200B are deliberately not among them).
bool isWhitespace(char16_t unit);
const std::array<char16_t, 25>& whitespace();

// The patterns, unanchored; matches() anchors them.
inline constexpr QStringView uuidPattern =
    u"[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[1-8][0-9a-fA-F]{3}-[89abAB][0-9a-fA-F]{3}-[0-9a-fA-F]{12}"
    u"|00000000-0000-0000-0000-000000000000|ffffffff-ffff-ffff-ffff-ffffffffffff";
inline constexpr QStringView conceptKeyPattern = u"[a-z0-9]+(?:-[a-z0-9]+)*";
inline constexpr QStringView versionPattern = u"[0-9]+\\.[0-9]+\\.[0-9]+";
inline constexpr QStringView checksumPattern = u"[a-f0-9]{64}";
const QString& timestampPattern();

// True when the whole of `text` matches `pattern` (searched as \A(?:pattern)\z).
bool matches(const QString& text, QStringView pattern);

// The same answers as matches() with the patterns above, without a regular-expression search
// per value: a release holds tens of thousands of identifiers and timestamps.
bool isUuid(QStringView text);
bool isTimestamp(QStringView text);
bool isConceptKey(QStringView text);

// Trims `whitespace()` from both ends; the rest must hold 1...maximum UTF-16 units.
QString text(const QString& value, qsizetype maximum);
// The link rule: an HTTP or HTTPS link, cleaned of tabs and line breaks, at most 2048 units.
QString sourceURL(const QString& value);

// A stored source address as a link the reader may open: it must parse strictly as a URL
// whose scheme is http or https (in any case), with a host and without a user name or
// password. Addresses in saved snapshots and history predate or bypass the rule above, so
// every view checks here before it offers a link; none means "no link".
std::optional<QUrl> openableLink(const QString& value);

// Code-point order of UTF-16 text: units of surrogate pairs (characters above U+FFFF) sort
// after every unit of the basic plane, which plain UTF-16 comparison gets wrong.
bool codePointLess(const QString& a, const QString& b);

// The message of the key-set rule, for the keys a record expects and the keys an object has.
// The message is shown to the reader and keys come from untrusted documents: each list names
// at most 20 keys and then counts the rest, and a key beyond 200 units ends in an ellipsis.
QString keySetMessage(const QStringList& expected, const QStringList& present);

// Refuses an application version that is not three dotted digit runs, or one older than
// `minimum`. Digit runs of any length compare correctly: nothing is converted to a number.
void compatibility(const QString& minimum, const QString& current);

// SHA-256 of the bytes as 64 lowercase hexadecimal digits.
QString sha256Hex(QByteArrayView bytes);

} // namespace ContractRules

} // namespace brindlewick
