#include "content/ContractRules.h"

#include <QRegularExpression>
#include <QUrl>

#include <openssl/evp.h>

#include <algorithm>
#include <utility>

namespace brindlewick {

using namespace Qt::StringLiterals;

ContractValidationError::ContractValidationError(QString message)
    : m_message(std::move(message)), m_what(m_message.toUtf8()) {}

namespace {

[[noreturn]] void refuse(const QString& message) {
  throw ContractValidationError(message);
}

} // namespace

namespace ContractRules {

namespace {

bool isDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}
bool isHex(QChar c) {
  return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
int digitValue(QChar c) {
  return c.unicode() - u'0';
}

// Two digits at `at` forming a number no greater than `maximum`.
bool twoDigits(QStringView text, qsizetype at, int maximum) {
  return isDigit(text[at]) && isDigit(text[at + 1]) &&
         digitValue(text[at]) * 10 + digitValue(text[at + 1]) <= maximum;
}

const QRegularExpression& anchored(QStringView pattern) {
  // One expression per known pattern, compiled on first use (function-local statics are
  // initialised once even when first used from several threads).
  static const QRegularExpression uuid(QStringLiteral("\\A(?:%1)\\z").arg(uuidPattern));
  static const QRegularExpression conceptKey(QStringLiteral("\\A(?:%1)\\z").arg(conceptKeyPattern));
  static const QRegularExpression version(QStringLiteral("\\A(?:%1)\\z").arg(versionPattern));
  static const QRegularExpression checksum(QStringLiteral("\\A(?:%1)\\z").arg(checksumPattern));
  static const QRegularExpression timestamp(QStringLiteral("\\A(?:%1)\\z").arg(timestampPattern()));
  if (pattern == uuidPattern)
    return uuid;
  if (pattern == conceptKeyPattern)
    return conceptKey;
  if (pattern == versionPattern)
    return version;
  if (pattern == checksumPattern)
    return checksum;
  if (pattern == timestampPattern())
    return timestamp;
  thread_local QRegularExpression other;
  other.setPattern(QStringLiteral("\\A(?:%1)\\z").arg(pattern));
  return other;
}

// Keys come from untrusted documents and the message is shown on screen: list at most this
// many keys, each at most this long.
constexpr qsizetype listedKeysLimit = 20;
constexpr qsizetype listedKeyLength = 200;

void appendQuoted(QString& out, const QString& key) {
  out += u'"';
  qsizetype end = key.size();
  const bool shortened = end > listedKeyLength;
  if (shortened) {
    end = listedKeyLength;
    if (key[end - 1].isHighSurrogate())
      --end;
  }
  for (qsizetype i = 0; i < end; ++i) {
    const char16_t c = key[i].unicode();
    switch (c) {
    case u'"': out += QLatin1StringView("\\\""); break;
    case u'\'': out += QLatin1StringView("\\'"); break;
    case u'\\': out += QLatin1StringView("\\\\"); break;
    case u'\t': out += QLatin1StringView("\\t"); break;
    case u'\n': out += QLatin1StringView("\\n"); break;
    case u'\r': out += QLatin1StringView("\\r"); break;
    case u'\0': out += QLatin1StringView("\\0"); break;
    default:
      if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        out += QStringLiteral("\\u{%1}").arg(QString::number(c, 16).toUpper().rightJustified(2, u'0'));
      else
        out += QChar(c);
    }
  }
  if (shortened)
    out += u'\u2026';
  out += u'"';
}

QString bracketed(QStringList keys) {
  // Only the listed keys need their order: a hostile object may hold a million keys.
  const qsizetype listed = std::min(keys.size(), listedKeysLimit);
  std::partial_sort(keys.begin(), keys.begin() + listed, keys.end(), codePointLess);
  QString out = QStringLiteral("[");
  for (qsizetype i = 0; i < listed; ++i) {
    if (i > 0)
      out += QLatin1StringView(", ");
    appendQuoted(out, keys[i]);
  }
  if (keys.size() > listed)
    out += QStringLiteral(", and %1 more").arg(keys.size() - listed);
  out += u']';
  return out;
}

} // namespace

bool codePointLess(const QString& a, const QString& b) {
  auto fixup = [](char16_t unit) -> unsigned {
    if (unit >= 0xE000)
      return unit - 0x800u;
    if (unit >= 0xD800)
      return unit + 0x2000u;
    return unit;
  };
  const qsizetype common = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < common; ++i) {
    if (a[i] != b[i])
      return fixup(a[i].unicode()) < fixup(b[i].unicode());
  }
  return a.size() < b.size();
}

bool isWhitespace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

const std::array<char16_t, 25>& whitespace() {
  static constexpr std::array<char16_t, 25> set = {
      0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
      0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0xFEFF};
  return set;
}

const QString& timestampPattern() {
  static const QString pattern =
      QStringLiteral("(?:") +
      QStringLiteral(
          "(?:[0-9]{2}[2468][048]|[0-9]{2}[13579][26]|[0-9]{2}0[48]|[02468][048]00|[13579][26]00)"
          "-02-29|[0-9]{4}-(?:(?:0[13578]|1[02])-(?:0[1-9]|[12][0-9]|3[01])|(?:0[469]|11)-(?:0[1-9]|"
          "[12][0-9]|30)|02-(?:0[1-9]|1[0-9]|2[0-8]))") +
      QStringLiteral(
          ")T(?:[01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9](?:\\.[0-9]+)?(?:Z|[+-](?:[01][0-9]|2[0-3]):"
          "[0-5][0-9])");
  return pattern;
}

bool matches(const QString& text, QStringView pattern) {
  return anchored(pattern).match(text).hasMatch();
}

bool isUuid(QStringView text) {
  if (text.size() != 36)
    return false;
  for (qsizetype i = 0; i < 36; ++i) {
    const char16_t c = text[i].unicode();
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != u'-')
        return false;
    } else if (!isHex(c)) {
      return false;
    }
  }
  const char16_t version = text[14].unicode();
  const char16_t variant = text[19].unicode();
  if (version >= u'1' && version <= u'8' &&
      (variant == u'8' || variant == u'9' || variant == u'a' || variant == u'b' || variant == u'A' ||
       variant == u'B'))
    return true;
  return text == u"00000000-0000-0000-0000-000000000000" || text == u"ffffffff-ffff-ffff-ffff-ffffffffffff";
}

bool isTimestamp(QStringView text) {
  // YYYY-MM-DDThh:mm:ss, then an optional fraction and a zone: at least 20 units.
  if (text.size() < 20)
    return false;
  for (qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!isDigit(text[i]))
      return false;
  }
  if (text[4] != u'-' || text[7] != u'-' || text[10] != u'T')
    return false;
  const int month = digitValue(text[5]) * 10 + digitValue(text[6]);
  const int day = digitValue(text[8]) * 10 + digitValue(text[9]);
  int days;
  switch (month) {
  case 1:
  case 3:
  case 5:
  case 7:
  case 8:
  case 10:
  case 12: days = 31; break;
  case 4:
  case 6:
  case 9:
  case 11: days = 30; break;
  case 2: {
    // Gregorian leap years; year 0000 counts as one.
    const int century = digitValue(text[0]) * 10 + digitValue(text[1]);
    const int yearOfCentury = digitValue(text[2]) * 10 + digitValue(text[3]);
    const bool leap = yearOfCentury != 0 ? yearOfCentury % 4 == 0 : century % 4 == 0;
    days = leap ? 29 : 28;
    break;
  }
  default: return false;
  }
  if (day < 1 || day > days)
    return false;
  if (!twoDigits(text, 11, 23) || text[13] != u':' || !twoDigits(text, 14, 59) || text[16] != u':' ||
      !twoDigits(text, 17, 59))
    return false;
  qsizetype at = 19;
  if (text[at] == u'.') {
    const qsizetype digitsStart = ++at;
    while (at < text.size() && isDigit(text[at]))
      ++at;
    if (at == digitsStart)
      return false;
  }
  const QStringView zone = text.sliced(at);
  if (zone == u"Z")
    return true;
  return zone.size() == 6 && (zone[0] == u'+' || zone[0] == u'-') && twoDigits(zone, 1, 23) &&
         zone[3] == u':' && twoDigits(zone, 4, 59);
}

bool isConceptKey(QStringView text) {
  if (text.isEmpty() || text.front() == u'-' || text.back() == u'-')
    return false;
  char16_t previous = 0;
  for (const QChar ch : text) {
    const char16_t c = ch.unicode();
    const bool alphanumeric = isDigit(c) || (c >= u'a' && c <= u'z');
    if (!alphanumeric && !(c == u'-' && previous != u'-'))
      return false;
    previous = c;
  }
  return true;
}

// Where the text is left after trimming `whitespace()` from both ends: {begin, length}.
static std::pair<qsizetype, qsizetype> trimmedSpan(const QString& value) {
  qsizetype begin = 0;
  qsizetype end = value.size();
  while (begin < end && isWhitespace(value[begin].unicode()))
    ++begin;
  while (end > begin && isWhitespace(value[end - 1].unicode()))
    --end;
  return {begin, end - begin};
}

QString text(const QString& value, qsizetype maximum) {
  const auto [begin, length] = trimmedSpan(value);
  if (length == 0 || length > maximum)
    refuse(QStringLiteral("Text must contain 1...%1 UTF-16 units").arg(maximum));
  // Untrimmed text (the usual case) is shared, not copied.
  return length == value.size() ? value : value.sliced(begin, length);
}

namespace {

// The port text of a link's authority ("" when there is none), located without a parser: the
// URL parser refuses ports above 65535 outright, which must be reported as a bad port, not as
// a bad link. `start` is where the authority begins (after "://").
std::pair<qsizetype, qsizetype> portSpan(const QString& link, qsizetype start) {
  qsizetype end = start;
  while (end < link.size() && link[end] != u'/' && link[end] != u'?' && link[end] != u'#')
    ++end;
  const qsizetype at = link.lastIndexOf(u'@', end - 1);
  qsizetype host = at >= start ? at + 1 : start;
  if (host < end && link[host] == u'[') {
    const qsizetype close = link.indexOf(u']', host);
    if (close < 0 || close >= end)
      return {end, end};
    host = close;
  }
  const qsizetype colon = link.indexOf(u':', host);
  if (colon < 0 || colon >= end)
    return {end, end};
  return {colon + 1, end};
}

// True when `digits` (ASCII digits only) names a number above 65535, however long it is.
bool above65535(QStringView digits) {
  while (!digits.isEmpty() && digits.front() == u'0')
    digits = digits.sliced(1);
  return digits.size() > 5 || (digits.size() == 5 && digits > u"65535");
}

bool startsWithAsciiCaseless(const QString& text, QLatin1StringView prefix) {
  if (text.size() < prefix.size())
    return false;
  for (qsizetype i = 0; i < prefix.size(); ++i) {
    char16_t c = text[i].unicode();
    if (c >= u'A' && c <= u'Z')
      c = c - u'A' + u'a';
    if (c != char16_t(prefix[i].unicode()))
      return false;
  }
  return true;
}

} // namespace

QString sourceURL(const QString& value) {
  const QString schemeMessage = QStringLiteral("Source URL must use HTTP or HTTPS");
  const auto [begin, length] = trimmedSpan(value);
  QString link = value.sliced(begin, length);
  const bool secure = startsWithAsciiCaseless(link, "https://"_L1);
  if (!secure && !startsWithAsciiCaseless(link, "http://"_L1))
    refuse(schemeMessage);
  link.remove(u'\t');
  link.remove(u'\n');
  link.remove(u'\r');
  if (link.size() > 2048)
    refuse(QStringLiteral("Source URL exceeds 2048 UTF-16 units"));

  // A port beyond 65535 is parsed as port 0 so the link's other faults are still found first.
  QString parsed = link;
  bool portTooLarge = false;
  const auto [portBegin, portEnd] = portSpan(link, secure ? 8 : 7);
  const QStringView port = QStringView(link).sliced(portBegin, portEnd - portBegin);
  if (!port.isEmpty() &&
      std::all_of(port.begin(), port.end(), [](QChar c) { return isDigit(c.unicode()); }) &&
      above65535(port)) {
    portTooLarge = true;
    parsed.replace(portBegin, portEnd - portBegin, QStringLiteral("0"));
  }
  const QUrl url(parsed, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty())
    refuse(schemeMessage);
  const QString scheme = url.scheme().toLower();
  if (scheme != u"http" && scheme != u"https")
    refuse(schemeMessage);
  const QString host = url.host(QUrl::FullyDecoded);
  if (host.isEmpty() ||
      std::any_of(host.begin(), host.end(), [](QChar c) { return c < u'!' || c == u'\x7F'; }))
    refuse(schemeMessage);
  if (portTooLarge)
    refuse(QStringLiteral("Invalid source URL port"));
  return link;
}

std::optional<QUrl> openableLink(const QString& value) {
  const QUrl url(value, QUrl::StrictMode);
  if (!url.isValid() || url.isRelative())
    return std::nullopt;
  const QString scheme = url.scheme().toLower();
  if ((scheme != u"http" && scheme != u"https") || url.host().isEmpty() || !url.userInfo().isEmpty())
    return std::nullopt;
  return url;
}

QString keySetMessage(const QStringList& expected, const QStringList& present) {
  QStringList missing;
  for (const QString& key : expected) {
    if (!present.contains(key))
      missing.append(key);
  }
  QStringList unknown;
  for (const QString& key : present) {
    if (!expected.contains(key))
      unknown.append(key);
  }
  return QStringLiteral("Invalid fields: missing ") + bracketed(missing) + QStringLiteral(", unknown ") +
         bracketed(unknown);
}

void compatibility(const QString& minimum, const QString& current) {
  if (!matches(current, versionPattern))
    refuse(QStringLiteral("Invalid app version"));
  const auto pieces = [](const QString& version) {
    QList<QStringView> list;
    for (QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts)) {
      while (!piece.isEmpty() && piece.front() == u'0')
        piece = piece.sliced(1);
      list.append(piece);
    }
    return list;
  };
  const QList<QStringView> required = pieces(minimum);
  const QList<QStringView> running = pieces(current);
  for (qsizetype i = 0; i < std::min(required.size(), running.size()); ++i) {
    const QStringView need = required[i];
    const QStringView have = running[i];
    if (need == have)
      continue;
    // Without leading zeros, a shorter digit run is the smaller number, and runs of one
    // length compare as text.
    const bool compatible = need.size() == have.size() ? need < have : need.size() < have.size();
    if (!compatible)
      refuse(QStringLiteral("Release requires app version ") + minimum);
    return;
  }
}

QString sha256Hex(QByteArrayView bytes) {
  // libcrypto uses the processor's SHA extensions where present, several times faster than
  // Qt's portable implementation on a 10 MiB body.
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), std::size_t(bytes.size()), digest, &length, EVP_sha256(), nullptr) != 1 ||
      length != 32)
    throw std::runtime_error("SHA-256 is unavailable");
  return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), 32).toHex());
}

} // namespace ContractRules

} // namespace brindlewick
