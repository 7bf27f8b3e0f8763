#include "account/AccountContracts.h"

#include "content/ContentContracts.h"
#include "content/ContractRules.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <vector>

namespace brindlewick {

using namespace Qt::StringLiterals;
using Value = Json::Tree::Value;

namespace {

const char* errorText(AccountError::Case errorCase) {
  switch (errorCase) {
  case AccountError::Case::http: return "The account service could not complete this request (HTTP %1).";
  case AccountError::Case::busy: return "An account operation is already in progress.";
  case AccountError::Case::notSignedIn:
    return "Sign in again to connect to your account. Retained snapshots remain on this computer.";
  case AccountError::Case::invalidResponse:
    return "The account service returned an invalid response. Existing data was retained.";
  case AccountError::Case::unsafeURL: return "The service returned an unsupported or unsafe browser address.";
  case AccountError::Case::superseded: return "The account changed while this operation was in progress.";
  case AccountError::Case::deviceDenied: return "Browser sign-in was declined.";
  case AccountError::Case::deviceExpired: return "The sign-in code expired. Start sign-in again.";
  case AccountError::Case::preferenceConflict:
    return "Settings changed on another device. Refresh settings before trying again.";
  case AccountError::Case::consentRequired: return "Reading activity sharing is disabled.";
  case AccountError::Case::clockChanged:
    return "The system clock moved backwards. Connect again to verify account access.";
  case AccountError::Case::revocationUnconfirmed:
    return "Signed out on this computer, but server session revocation could not be confirmed.";
  case AccountError::Case::storage:
    return "Account storage could not be read or saved. Existing credentials were not discarded.";
  }
  return "";
}

[[noreturn]] void refuse() {
  throw AccountError::invalidResponse();
}

// MARK: Dates

constexpr qint64 secondsPerDay = 86400;
// The whole Unix seconds that formatDate can write: 0000-01-01T00:00:00Z to 9999-12-31T23:59:59Z.
constexpr qint64 earliestWritable = daysFromCivil(0, 1, 1) * secondsPerDay;
constexpr qint64 latestWritable = daysFromCivil(9999, 12, 31) * secondsPerDay + secondsPerDay - 1;

// The whole Unix second at or below the date, if it can be computed at all.
std::optional<qint64> wholeUnixSecond(Date date) {
  const double below = std::floor(date.secondsSinceReference());
  if (!std::isfinite(below) || std::fabs(below) > 1e15)
    return std::nullopt;
  return qint64(below) + qint64(Date::unixOffset);
}

bool isWritable(Date date) {
  const std::optional<qint64> second = wholeUnixSecond(date);
  return second && *second >= earliestWritable && *second <= latestWritable;
}

// The number that the digits of text[at, at + count) write.
qint64 digits(QStringView text, qsizetype at, qsizetype count) {
  qint64 value = 0;
  for (qsizetype i = at; i < at + count; ++i)
    value = value * 10 + (text[i].unicode() - u'0');
  return value;
}

// MARK: Item rules

template <typename Record> bool holdsId(const QList<Record>& records, const QString& id) {
  return std::any_of(records.begin(), records.end(), [&](const Record& record) { return record.id == id; });
}

template <typename Record> bool idsAreDistinct(const QList<Record>& records) {
  for (qsizetype i = 0; i < records.size(); ++i) {
    for (qsizetype j = i + 1; j < records.size(); ++j) {
      if (records[i].id == records[j].id)
        return false;
    }
  }
  return true;
}

// The records' ids (distinct) are, as a set, the named ids (which may repeat).
template <typename Record> bool sameIdSet(const QList<Record>& records, const QStringList& named) {
  for (const QString& id : named) {
    if (!holdsId(records, id))
      return false;
  }
  return std::all_of(records.begin(), records.end(),
                     [&](const Record& record) { return named.contains(record.id); });
}

std::optional<Date> optionalDate(const Json::Members<7>& members, std::size_t index) {
  if (const auto value = members.optional(index))
    return AccountCoding::readDate(*value, members.path(index));
  return std::nullopt;
}

QList<AccountItem> decodeItems(const Value& items, const Json::Path& path) {
  Json::expectArray(items, path);
  QList<AccountItem> decoded;
  decoded.reserve(items.size());
  Value item = items.firstChild();
  for (qsizetype i = 0; i < items.size(); ++i) {
    decoded.append(AccountItem::decode(item, Json::Path(path, i)));
    item = item.nextSibling();
  }
  return decoded;
}

// As decodeItems, in up to `threads` runs decoded at once (the first on this thread). A record
// of thousands of items is most of a start's reading; its errors come out as a reading in
// order would report them, since the runs are joined in order.
QList<AccountItem> decodeItems(const Value& items, const Json::Path& path, int threads) {
  constexpr qsizetype shortestRun = 500;
  Json::expectArray(items, path);
  const qsizetype count = items.size();
  const qsizetype runs = std::clamp<qsizetype>(count / shortestRun, 1, std::max(threads, 1));
  if (runs == 1)
    return decodeItems(items, path);
  const qsizetype runLength = (count + runs - 1) / runs;
  const auto decodeRun = [&path](qsizetype first, Value item, qsizetype length) {
    QList<AccountItem> run;
    run.reserve(length);
    for (qsizetype i = 0; i < length; ++i, item = item.nextSibling())
      run.append(AccountItem::decode(item, Json::Path(path, first + i)));
    return run;
  };
  std::vector<std::future<QList<AccountItem>>> later;
  Value item = items.firstChild();
  for (qsizetype i = 0; i < count; ++i, item = item.nextSibling()) {
    if (i > 0 && i % runLength == 0)
      later.push_back(std::async(std::launch::async, decodeRun, i, item, std::min(runLength, count - i)));
  }
  // Should the first run throw, the others' futures wait for them as they go.
  QList<AccountItem> decoded = decodeRun(0, items.firstChild(), runLength);
  decoded.reserve(count);
  for (std::future<QList<AccountItem>>& run : later)
    decoded.append(run.get());
  return decoded;
}

// The item's text as received when the encoder would write the same: its own keys exactly
// (an absent date is left out, never null), a snapshot of its three keys (the records inside
// are read strictly: every key, no other), dates in whole seconds and UTC, and Qt's
// serialized form throughout. Empty otherwise.
QByteArray storedText(const Value& value, const AccountItem& item) {
  static constexpr std::array dates{"savedAt"_L1, "lovedAt"_L1, "updatedAt"_L1};
  if (value.size() != 5 + qsizetype(item.savedAt.has_value()) + qsizetype(item.lovedAt.has_value()))
    return {};
  Value key = value.firstChild();
  for (qsizetype member = 0; member < value.size(); ++member, key = key.nextSibling().nextSibling()) {
    const Value field = key.nextSibling();
    if (key.equals("snapshot"_L1) && field.size() != 3)
      return {};
    // A date that parsed has the form formatDate writes exactly when it is as short.
    if (std::any_of(dates.begin(), dates.end(), [&](QLatin1StringView name) { return key.equals(name); }) &&
        field.sourceText().size() != qsizetype(sizeof("\"2026-03-01T09:30:00Z\"") - 1))
      return {};
  }
  return value.isSerializedForm() ? value.sourceText() : QByteArray();
}

} // namespace

// MARK: AccountError

AccountError::AccountError(Case errorCase, int statusCode)
    : m_case(errorCase), m_statusCode(errorCase == Case::http ? statusCode : 0) {
  QString text = QString::fromLatin1(errorText(errorCase));
  if (errorCase == Case::http)
    text = text.arg(statusCode);
  m_what = text.toUtf8();
}

// MARK: Records

std::optional<QUrl> ReaderAccountUser::imageURL() const {
  if (!image)
    return std::nullopt;
  const QUrl url(*image, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().toLower() != "https"_L1 || url.host().isEmpty() ||
      !url.userName().isEmpty() || !url.password().isEmpty())
    return std::nullopt;
  return url;
}

ReaderAccountUser ReaderAccountUser::decode(const Value& value, const Json::Path& path) {
  static constexpr std::array keys{"id"_L1, "name"_L1, "email"_L1, "image"_L1};
  const Json::Members members(value, path, keys);
  ReaderAccountUser user;
  user.id = Json::readString(members.required(0), members.path(0));
  user.name = Json::readString(members.required(1), members.path(1));
  user.email = Json::readString(members.required(2), members.path(2));
  if (const auto image = members.optional(3))
    user.image = Json::readString(*image, members.path(3));
  return user;
}

QJsonObject ReaderAccountUser::encode() const {
  QJsonObject object{{"id"_L1, id}, {"name"_L1, name}, {"email"_L1, email}};
  if (image)
    object.insert("image"_L1, *image);
  return object;
}

ReaderAccountMetrics ReaderAccountMetrics::decode(const Value& value, const Json::Path& path) {
  static constexpr std::array keys{"savedCount"_L1, "lovedCount"_L1, "readCount"_L1};
  const Json::Members members(value, path, keys);
  return ReaderAccountMetrics{Json::readInteger(members.required(0), members.path(0)),
                              Json::readInteger(members.required(1), members.path(1)),
                              Json::readInteger(members.required(2), members.path(2))};
}

QJsonObject ReaderAccountMetrics::encode() const {
  return QJsonObject{
      {"savedCount"_L1, savedCount}, {"lovedCount"_L1, lovedCount}, {"readCount"_L1, readCount}};
}

AccountItem AccountItem::decode(const Value& value, const Json::Path& path) {
  static constexpr std::array keys{"loreId"_L1,  "snapshot"_L1, "saved"_L1,    "loved"_L1,
                                   "savedAt"_L1, "lovedAt"_L1,  "updatedAt"_L1};
  const Json::Members members(value, path, keys);
  QString loreId = Json::readString(members.required(0), members.path(0));
  DropSnapshot snapshot = DropSnapshot::decode(members.required(1), members.path(1));
  const bool saved = Json::readBool(members.required(2), members.path(2));
  const bool loved = Json::readBool(members.required(3), members.path(3));
  const std::optional<Date> savedAt = optionalDate(members, 4);
  const std::optional<Date> lovedAt = optionalDate(members, 5);
  const Date updatedAt = AccountCoding::readDate(members.required(6), members.path(6));
  return AccountItem{std::move(loreId), std::move(snapshot), saved, loved, savedAt, lovedAt, updatedAt};
}

QJsonObject AccountItem::encode() const {
  QJsonObject object{{"loreId"_L1, loreId},
                     {"snapshot"_L1, snapshot.toJson()},
                     {"saved"_L1, saved},
                     {"loved"_L1, loved},
                     {"updatedAt"_L1, AccountCoding::formatDate(updatedAt)}};
  if (savedAt)
    object.insert("savedAt"_L1, AccountCoding::formatDate(*savedAt));
  if (lovedAt)
    object.insert("lovedAt"_L1, AccountCoding::formatDate(*lovedAt));
  return object;
}

AccountSummary AccountSummary::decode(const Value& value, const Json::Path& path) {
  static constexpr std::array keys{"user"_L1, "sessionExpiresAt"_L1, "metrics"_L1};
  const Json::Members members(value, path, keys);
  ReaderAccountUser user = ReaderAccountUser::decode(members.required(0), members.path(0));
  const Date expiresAt = AccountCoding::readDate(members.required(1), members.path(1));
  return AccountSummary{std::move(user), expiresAt,
                        ReaderAccountMetrics::decode(members.required(2), members.path(2))};
}

AccountSummary AccountSummary::fromJson(const QByteArray& bytes) {
  const Json::Tree tree(bytes);
  return decode(tree.root(), Json::Path());
}

QJsonObject AccountSummary::encode() const {
  return QJsonObject{{"user"_L1, user.encode()},
                     {"sessionExpiresAt"_L1, AccountCoding::formatDate(sessionExpiresAt)},
                     {"metrics"_L1, metrics.encode()}};
}

PreferencesResponse PreferencesResponse::decode(const Value& value, const Json::Path& path) {
  static constexpr std::array keys{"preferences"_L1, "version"_L1};
  const Json::Members members(value, path, keys);
  PreferencesResponse response;
  // A small record with readers of its own: it goes through Qt's values.
  if (const auto preferences = members.optional(0))
    response.preferences =
        ReaderPreferences::fromJson(preferences->toJsonValue(), members.path(0).toString());
  response.version = Json::readInteger(members.required(1), members.path(1));
  return response;
}

PreferencesResponse PreferencesResponse::fromJson(const QByteArray& bytes) {
  const Json::Tree tree(bytes);
  return decode(tree.root(), Json::Path());
}

QJsonObject PreferencesResponse::encode() const {
  QJsonObject object{{"version"_L1, version}};
  if (preferences)
    object.insert("preferences"_L1, preferences->toJson());
  return object;
}

AccountItemsPage AccountItemsPage::fromJson(const QByteArray& bytes) {
  static constexpr std::array keys{"items"_L1, "nextCursor"_L1};
  const Json::Tree tree(bytes);
  const Json::Path root;
  const Json::Members members(tree.root(), root, keys);
  AccountItemsPage page;
  const Value items = members.required(0);
  page.items = decodeItems(items, members.path(0));
  page.texts.reserve(page.items.size());
  Value item = items.firstChild();
  for (const AccountItem& decoded : std::as_const(page.items)) {
    page.texts.append(storedText(item, decoded));
    item = item.nextSibling();
  }
  if (const auto cursor = members.optional(1))
    page.nextCursor = Json::readString(*cursor, members.path(1));
  return page;
}

DeviceResponse DeviceResponse::fromJson(const QByteArray& bytes) {
  static constexpr std::array keys{"device_code"_L1,      "user_code"_L1,
                                   "verification_uri"_L1, "verification_uri_complete"_L1,
                                   "expires_in"_L1,       "interval"_L1};
  const Json::Tree tree(bytes);
  const Json::Path root;
  const Json::Members members(tree.root(), root, keys);
  return DeviceResponse{Json::readString(members.required(0), members.path(0)),
                        Json::readString(members.required(1), members.path(1)),
                        Json::readString(members.required(2), members.path(2)),
                        Json::readString(members.required(3), members.path(3)),
                        Json::readInteger(members.required(4), members.path(4)),
                        Json::readInteger(members.required(5), members.path(5))};
}

TokenReply TokenReply::fromJson(const QByteArray& bytes) {
  static constexpr std::array keys{"access_token"_L1, "token_type"_L1};
  const Json::Tree tree(bytes);
  const Json::Path root;
  const Json::Members members(tree.root(), root, keys);
  TokenReply reply{Json::readString(members.required(0), members.path(0)), std::nullopt};
  if (const auto type = members.optional(1))
    reply.tokenType = Json::readString(*type, members.path(1));
  return reply;
}

TokenFailure TokenFailure::fromJson(const QByteArray& bytes) {
  static constexpr std::array keys{"error"_L1};
  const Json::Tree tree(bytes);
  const Json::Path root;
  const Json::Members members(tree.root(), root, keys);
  return TokenFailure{Json::readString(members.required(0), members.path(0))};
}

AccountCache AccountCache::fromJson(const QByteArray& bytes, int threads) {
  static constexpr std::array keys{"sessionID"_L1, "me"_L1,          "items"_L1,
                                   "settings"_L1,  "confirmedAt"_L1, "accessRevoked"_L1};
  const Json::Tree tree(bytes);
  const Json::Path root;
  const Json::Members members(tree.root(), root, keys);
  AccountCache cache;
  cache.sessionID = Json::readString(members.required(0), members.path(0));
  cache.me = AccountSummary::decode(members.required(1), members.path(1));
  cache.items = decodeItems(members.required(2), members.path(2), threads);
  cache.settings = PreferencesResponse::decode(members.required(3), members.path(3));
  cache.confirmedAt = AccountCoding::readDate(members.required(4), members.path(4));
  cache.accessRevoked = Json::readBool(members.required(5), members.path(5));
  return cache;
}

QByteArray AccountCache::toJson() const {
  QList<QByteArray> texts;
  texts.reserve(items.size());
  for (const AccountItem& item : items)
    texts.append(Json::serialize(item.encode()));
  return toJson(texts);
}

QByteArray AccountCache::toJson(const QList<QByteArray>& texts) const {
  Q_ASSERT(texts.size() == items.size());
  qsizetype size = 0;
  for (const QByteArray& text : texts)
    size += text.size() + 1;
  // Written out around the items, which are most of a large record and arrive as text.
  QByteArray record;
  record.reserve(size + 4096);
  record += "{\"sessionID\":";
  record += Json::serialize(sessionID);
  record += ",\"me\":";
  record += Json::serialize(me.encode());
  record += ",\"items\":[";
  for (qsizetype i = 0; i < texts.size(); ++i) {
    if (i > 0)
      record += ',';
    record += texts[i];
  }
  record += "],\"settings\":";
  record += Json::serialize(settings.encode());
  record += ",\"confirmedAt\":";
  record += Json::serialize(AccountCoding::formatDate(confirmedAt));
  record += ",\"accessRevoked\":";
  record += accessRevoked ? "true}" : "false}";
  return record;
}

SessionCredential SessionCredential::fromJson(const QByteArray& bytes) {
  static constexpr std::array keys{"token"_L1, "userID"_L1, "revoked"_L1};
  const Json::Tree tree(bytes);
  const Json::Path root;
  const Json::Members members(tree.root(), root, keys);
  return SessionCredential{Json::readString(members.required(0), members.path(0)),
                           Json::readString(members.required(1), members.path(1)),
                           Json::readBool(members.required(2), members.path(2))};
}

QByteArray SessionCredential::toJson() const {
  return Json::serialize(QJsonObject{{"token"_L1, token}, {"userID"_L1, userID}, {"revoked"_L1, revoked}});
}

// MARK: AccountCoding

namespace AccountCoding {

std::optional<Date> parseDate(QStringView text) {
  // The grammar is the content contract's timestamp; what passes it is read at fixed positions.
  if (!ContractRules::isTimestamp(text))
    return std::nullopt;
  const int year = digits(text, 0, 4);
  const int month = digits(text, 5, 2);
  const int day = digits(text, 8, 2);
  const int hour = digits(text, 11, 2);
  const int minute = digits(text, 14, 2);
  const int second = digits(text, 17, 2);

  // A fraction of one or more digits; the first nine count (nanoseconds are beyond a double's
  // precision at these magnitudes anyway). The zone follows it.
  qsizetype at = 19;
  double fraction = 0;
  if (text[at] == u'.') {
    const qsizetype first = ++at;
    while (text[at] >= u'0' && text[at] <= u'9')
      ++at;
    const qsizetype counted = std::min<qsizetype>(at - first, 9);
    fraction = digits(text, first, counted) / std::pow(10.0, double(counted));
  }

  // The zone: "Z" or "±HH:MM".
  const QStringView zone = text.sliced(at);
  const qint64 offset =
      zone == u"Z" ? 0 : (zone[0] == u'-' ? -1 : 1) * (digits(zone, 1, 2) * 3600 + digits(zone, 4, 2) * 60);

  const qint64 unixSeconds =
      daysFromCivil(year, month, day) * secondsPerDay + hour * 3600 + minute * 60 + second - offset;
  const Date date(double(unixSeconds - qint64(Date::unixOffset)) + fraction);
  if (!isWritable(date))
    return std::nullopt;
  return date;
}

Date readDate(const Value& value, const Json::Path& path) {
  const std::optional<Date> date = parseDate(Json::readString(value, path));
  if (!date)
    refuse();
  return *date;
}

QString formatDate(Date date) {
  if (!isWritable(date))
    throw JsonEncodingError(QStringLiteral("The date %1 has no internet date-time form.")
                                .arg(date.secondsSinceReference(), 0, 'g', 17));
  const qint64 second = *wholeUnixSecond(date);
  const qint64 days = (second >= 0 ? second : second - secondsPerDay + 1) / secondsPerDay;
  const qint64 ofDay = second - days * secondsPerDay;
  const CivilDay civil = civilFromDays(days);
  return QStringLiteral("%1-%2-%3T%4:%5:%6Z")
      .arg(civil.year, 4, 10, QLatin1Char('0'))
      .arg(civil.month, 2, 10, QLatin1Char('0'))
      .arg(civil.day, 2, 10, QLatin1Char('0'))
      .arg(ofDay / 3600, 2, 10, QLatin1Char('0'))
      .arg(ofDay / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(ofDay % 60, 2, 10, QLatin1Char('0'));
}

void validate(const AccountItem& item) {
  const DropSnapshot& snapshot = item.snapshot;
  if (item.loreId != snapshot.lore.id)
    refuse();
  if (snapshot.books.size() > maximumSnapshotBooks || snapshot.sources.size() > maximumSnapshotSources)
    refuse();
  if (!idsAreDistinct(snapshot.books) || !idsAreDistinct(snapshot.sources))
    refuse();
  if (!sameIdSet(snapshot.books, snapshot.lore.bookIds) ||
      !sameIdSet(snapshot.sources, snapshot.lore.sourceIds))
    refuse();
  for (const Source& source : snapshot.sources) {
    if (!holdsId(snapshot.books, source.bookId))
      refuse();
  }
  if ((item.saved && !item.savedAt) || (item.loved && !item.lovedAt))
    refuse();
}

void validate(const std::optional<ReaderPreferences>& preferences) {
  if (!preferences)
    return;
  if (!ReaderPreferences::textScaleRange.contains(preferences->textScale))
    refuse();
  for (const QString& topic : preferences->topics) {
    if (!fromRawValue<Category>(topic))
      refuse();
  }
  if (preferences->preferredDisplayID)
    refuse();
}

void validateCache(const AccountCache& cache, const QString& userID) {
  if (cache.me.user.id != userID || cache.items.size() > maximumItems)
    refuse();
  QSet<QStringView> ids;
  ids.reserve(cache.items.size());
  for (const AccountItem& item : cache.items)
    ids.insert(item.loreId);
  if (ids.size() != cache.items.size())
    refuse();
  const double session = cache.me.sessionExpiresAt.secondsSince(cache.confirmedAt);
  if (!(session > 0) || session > maximumSessionSeconds)
    refuse();
  const ReaderAccountMetrics& metrics = cache.me.metrics;
  if (metrics.savedCount < 0 || metrics.lovedCount < 0 || metrics.readCount < 0 || cache.settings.version < 0)
    refuse();
  validate(cache.settings.preferences);
  for (const AccountItem& item : cache.items)
    validate(item);
}

void validateSummary(const AccountSummary& me, Date now) {
  const qsizetype idBytes = utf8Length(me.user.id);
  if (idBytes < 1 || idBytes > maximumUserIDBytes || utf8Length(me.user.name) > maximumSummaryTextBytes ||
      utf8Length(me.user.email) > maximumSummaryTextBytes)
    refuse();
  const double remaining = me.sessionExpiresAt.secondsSince(now);
  if (!(remaining > 0) || remaining > maximumSessionSeconds)
    refuse();
  const ReaderAccountMetrics& metrics = me.metrics;
  if (metrics.savedCount < 0 || metrics.lovedCount < 0 || metrics.readCount < 0)
    refuse();
}

void validateToken(QStringView token) {
  if (token.isEmpty() || utf8Length(token) > maximumTokenBytes)
    refuse();
  for (qsizetype i = 0; i < token.size(); ++i) {
    char32_t codePoint = token[i].unicode();
    if (QChar::isHighSurrogate(codePoint) && i + 1 < token.size() && token[i + 1].isLowSurrogate()) {
      codePoint = QChar::surrogateToUcs4(token[i].unicode(), token[i + 1].unicode());
      ++i;
    }
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: refuse();
    default: break;
    }
  }
}

std::optional<QUuid> parseID(QStringView text) {
  if (text.size() != 36)
    return std::nullopt;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    if (hyphen ? c != u'-' : !hex)
      return std::nullopt;
  }
  return QUuid::fromString(text);
}

QString wireID(const QUuid& id) {
  return id.toString(QUuid::WithoutBraces).toUpper();
}

qsizetype utf8Length(QStringView text) {
  qsizetype bytes = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (unit < 0x80) {
      bytes += 1;
    } else if (unit < 0x800) {
      bytes += 2;
    } else if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3; // a lone surrogate is written as U+FFFD
    }
  }
  return bytes;
}

QString digest(QStringView text) {
  return ContractRules::sha256Hex(text.toUtf8());
}

QString displayText(const QString& text) {
  QString shown;
  shown.reserve(text.size());
  for (const QChar character : text) {
    const char16_t unit = character.unicode();
    const bool control = unit <= 0x1F || (unit >= 0x7F && unit <= 0x9F);
    const bool bidirectional = (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
    if (!control && !bidirectional)
      shown.append(character);
  }
  return shown;
}

} // namespace AccountCoding

// MARK: AccountKeys

namespace AccountKeys {

QString serviceDigest(const std::optional<QUrl>& baseURL) {
  return AccountCoding::digest(baseURL ? baseURL->toString(QUrl::FullyEncoded)
                                       : QStringLiteral("unconfigured"));
}

QString credentialKey(const std::optional<QUrl>& baseURL) {
  return QStringLiteral("reader.session.v1.") + serviceDigest(baseURL);
}

QString unconfirmedCredentialKey(const std::optional<QUrl>& baseURL) {
  return QStringLiteral("reader.session.unconfirmed.v1.") + serviceDigest(baseURL);
}

QString unconfirmedCredentialKey(const std::optional<QUrl>& baseURL, const QString& sessionID) {
  return unconfirmedCredentialKey(baseURL) + u'.' + sessionID;
}

QString cacheKey(const std::optional<QUrl>& baseURL, const QString& userID, const QString& sessionID) {
  return QStringLiteral("reader.account.v1.") + serviceDigest(baseURL) + u'.' +
         AccountCoding::digest(userID) + u'.' + sessionID;
}

} // namespace AccountKeys

} // namespace brindlewick
