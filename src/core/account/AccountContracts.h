#pragma once

#include "content/ContentSnapshots.h"
#include "delivery/Preferences.h"
#include "foundation/Date.h"
#include "foundation/Json.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <QUuid>

#include <exception>
#include <optional>

// The records of the reader's account as the reading service reports them and as this
// computer keeps them, with their JSON coding and the rules every record must pass before the
// account controller accepts it. Plain values and pure functions: no input or output, no
// event loop, safe on any thread.

namespace brindlewick {

// The error of the account controller. Every case has one fixed English text, which the
// interface shows unchanged (often after a prefix). None of them ever carries a token.
class AccountError : public std::exception {
public:
  enum class Case {
    http,
    busy,
    notSignedIn,
    invalidResponse,
    unsafeURL,
    superseded,
    deviceDenied,
    deviceExpired,
    preferenceConflict,
    consentRequired,
    clockChanged,
    revocationUnconfirmed,
    storage
  };

  explicit AccountError(Case errorCase, int statusCode = 0);

  static AccountError http(int statusCode) { return AccountError(Case::http, statusCode); }
  static AccountError busy() { return AccountError(Case::busy); }
  static AccountError notSignedIn() { return AccountError(Case::notSignedIn); }
  static AccountError invalidResponse() { return AccountError(Case::invalidResponse); }
  static AccountError unsafeURL() { return AccountError(Case::unsafeURL); }
  static AccountError superseded() { return AccountError(Case::superseded); }
  static AccountError deviceDenied() { return AccountError(Case::deviceDenied); }
  static AccountError deviceExpired() { return AccountError(Case::deviceExpired); }
  static AccountError preferenceConflict() { return AccountError(Case::preferenceConflict); }
  static AccountError consentRequired() { return AccountError(Case::consentRequired); }
  static AccountError clockChanged() { return AccountError(Case::clockChanged); }
  static AccountError revocationUnconfirmed() { return AccountError(Case::revocationUnconfirmed); }
  static AccountError storage() { return AccountError(Case::storage); }

  Case errorCase() const { return m_case; }
  // The status of an http error; 0 for the other cases.
  int statusCode() const { return m_statusCode; }
  QString description() const { return QString::fromUtf8(m_what); }
  const char* what() const noexcept override { return m_what.constData(); }

  // Same case and, for http, the same status.
  friend bool operator==(const AccountError& a, const AccountError& b) {
    return a.m_case == b.m_case && a.m_statusCode == b.m_statusCode;
  }

private:
  Case m_case;
  int m_statusCode;
  QByteArray m_what;
};

// The signed-in reader.
struct ReaderAccountUser {
  QString id;
  QString name;
  QString email;
  // The address of the reader's picture as the service sent it.
  std::optional<QString> image;

  // `image` when it is an https address with a host and without user or password; query and
  // fragment are allowed. Only the avatar uses it.
  std::optional<QUrl> imageURL() const;

  static ReaderAccountUser decode(const Json::Tree::Value& value, const Json::Path& path);
  QJsonObject encode() const;
  friend bool operator==(const ReaderAccountUser&, const ReaderAccountUser&) = default;
};

// The reader's counts; all zero while nobody is signed in.
struct ReaderAccountMetrics {
  qint64 savedCount = 0;
  qint64 lovedCount = 0;
  qint64 readCount = 0;

  static constexpr ReaderAccountMetrics empty() { return {}; }

  static ReaderAccountMetrics decode(const Json::Tree::Value& value, const Json::Path& path);
  QJsonObject encode() const;
  friend bool operator==(const ReaderAccountMetrics&, const ReaderAccountMetrics&) = default;
};

// One saved or loved drop of the account, identified by its drop id.
struct AccountItem {
  QString loreId;
  DropSnapshot snapshot;
  bool saved = false;
  bool loved = false;
  std::optional<Date> savedAt;
  std::optional<Date> lovedAt;
  Date updatedAt;

  const QString& id() const { return loreId; }

  static AccountItem decode(const Json::Tree::Value& value, const Json::Path& path);
  QJsonObject encode() const;
  friend bool operator==(const AccountItem&, const AccountItem&) = default;
};

// A browser sign-in waiting for the reader's approval. Never stored.
struct ReaderDeviceCode {
  QString userCode;
  // Already vetted by the sign-in.
  QUrl verificationURL;
  Date expiresAt;
  // Seconds between two polls.
  double interval = 0;

  friend bool operator==(const ReaderDeviceCode&, const ReaderDeviceCode&) = default;
};

// The reader's summary; also the service's reply to "GET /api/reader/me".
struct AccountSummary {
  ReaderAccountUser user;
  Date sessionExpiresAt;
  ReaderAccountMetrics metrics;

  static AccountSummary decode(const Json::Tree::Value& value, const Json::Path& path);
  // A reply body. Throws JsonDecodingError, and AccountError::invalidResponse for an
  // unreadable date.
  static AccountSummary fromJson(const QByteArray& bytes);
  QJsonObject encode() const;
  friend bool operator==(const AccountSummary&, const AccountSummary&) = default;
};

// The synced preferences with their version on the service; also the body and reply of the
// preferences requests.
struct PreferencesResponse {
  // None when the account has none; left out of the JSON then.
  std::optional<ReaderPreferences> preferences;
  qint64 version = 0;

  static PreferencesResponse decode(const Json::Tree::Value& value, const Json::Path& path);
  // A reply body. Throws JsonDecodingError and the schedule's errors.
  static PreferencesResponse fromJson(const QByteArray& bytes);
  QJsonObject encode() const;
  friend bool operator==(const PreferencesResponse&, const PreferencesResponse&) = default;
};

// One page of the account's items: the reply to "GET /api/reader/items".
struct AccountItemsPage {
  QList<AccountItem> items;
  // The opaque cursor of the next page; none (absent or null) on the last page.
  std::optional<QString> nextCursor;
  // For each item, its text as received when that is already what Json::serialize(item.encode())
  // writes (compact, every key the record writes and no other, whole-second dates), so that
  // storing it needs no encoding; empty otherwise.
  QList<QByteArray> texts;

  // Throws JsonDecodingError, AccountError::invalidResponse for an unreadable date, and the
  // content contract's errors for a snapshot that breaks it. No rule of the fetch is applied.
  static AccountItemsPage fromJson(const QByteArray& bytes);
};

// The reply to a device-code request (the device authorization grant's keys). The device code
// is a secret of the sign-in: it travels only in token requests.
struct DeviceResponse {
  QString deviceCode;
  QString userCode;
  QString verificationURI;
  QString verificationURIComplete;
  qint64 expiresIn = 0;
  qint64 interval = 0;

  // Throws JsonDecodingError; the bounds are the sign-in's to check.
  static DeviceResponse fromJson(const QByteArray& bytes);
};

// The reply to a token request that issued a token.
struct TokenReply {
  QString accessToken;
  std::optional<QString> tokenType;

  // Throws JsonDecodingError.
  static TokenReply fromJson(const QByteArray& bytes);
};

// The reply to a token request that did not: "authorization_pending", "slow_down", …
struct TokenFailure {
  QString error;

  // Throws JsonDecodingError.
  static TokenFailure fromJson(const QByteArray& bytes);
};

// The copy of the account kept in the local store: what makes saved ideas readable offline
// and restores the session after a restart. One record per service address, reader and
// session.
struct AccountCache {
  // The digest of the session's token: ties the record to one session.
  QString sessionID;
  AccountSummary me;
  // In the order the controller keeps them; at most maximumItems, each drop id once.
  QList<AccountItem> items;
  PreferencesResponse settings;
  // When the service last confirmed this state.
  Date confirmedAt;
  // True once the service has rejected the session.
  bool accessRevoked = false;

  // Reads a stored record in one pass over its text. Throws JsonDecodingError for text or
  // shapes it does not accept, AccountError::invalidResponse for an unreadable date, and the
  // content contract's or schedule's errors for a snapshot or preferences that break them.
  // The rules of AccountCoding::validateCache are not applied here. With `threads` above 1, the
  // items of a large record are decoded on up to that many threads at once; the record, and
  // the error of a bad one, are the same.
  static AccountCache fromJson(const QByteArray& bytes, int threads = 1);
  // Dates in whole seconds (see AccountCoding::formatDate). Throws JsonEncodingError for a date
  // that has no such form.
  QByteArray toJson() const;
  // The same text, with `itemTexts[i]` as the text of `items[i]`, which must be what
  // Json::serialize(item.encode()) gives: a writer that kept the text of items that did not
  // change writes a large record without encoding them again.
  QByteArray toJson(const QList<QByteArray>& itemTexts) const;
  friend bool operator==(const AccountCache&, const AccountCache&) = default;
};

// The session credential kept in the keyring. The token is a secret: nothing writes it
// anywhere but the keyring and the Authorization header of a request.
struct SessionCredential {
  QString token;
  // 1 to maximumUserIDBytes bytes in UTF-8.
  QString userID;
  // True once the service has rejected the token.
  bool revoked = false;

  // All three keys are required; others are ignored. Throws JsonDecodingError.
  static SessionCredential fromJson(const QByteArray& bytes);
  QByteArray toJson() const;
};

namespace AccountCoding {

inline constexpr qsizetype maximumCredentialBytes = 32768;
inline constexpr qsizetype maximumTokenBytes = 16384;
inline constexpr qsizetype maximumUserIDBytes = 512;
inline constexpr qsizetype maximumSummaryTextBytes = 512;
inline constexpr qsizetype maximumCacheBytes = 20971520;
inline constexpr qsizetype maximumItems = 10000;
inline constexpr qsizetype maximumSnapshotBooks = 30;
inline constexpr qsizetype maximumSnapshotSources = 30;
// The longest session the service may grant: 90 days.
inline constexpr double maximumSessionSeconds = 7776000;

// Account dates are internet date-times: "YYYY-MM-DDTHH:MM:SS", optionally "." and one or more
// digits, then "Z" or "±HH:MM" (required). The date and time must exist (no 31 April, no hour
// 24, no leap second), and the instant must have a form formatDate() can write back (years
// 0000 to 9999 in UTC). None for anything else.
std::optional<Date> parseDate(QStringView text);
// A date value of a document: a non-string throws JsonDecodingError, an unreadable string
// AccountError::invalidResponse.
Date readDate(const Json::Tree::Value& value, const Json::Path& path);
// UTC, whole seconds, "Z": the second below the date (09:30:00.9996 is written 09:30:00).
// Throws JsonEncodingError for a date outside years 0000 to 9999 or one that is not finite.
QString formatDate(Date date);

// The rules of one account item: the drop id is the snapshot's, at most 30 books and 30
// sources with distinct ids, the books and sources are exactly those the drop names, every
// source's book is among them, and each set flag has its date. Throws
// AccountError::invalidResponse.
void validate(const AccountItem& item);
// None passes; otherwise a text scale of 1.0 to 1.2, topics among the twelve category names,
// and no preferred display (it belongs to one computer). Throws AccountError::invalidResponse.
void validate(const std::optional<ReaderPreferences>& preferences);
// The rules of a cache record for the reader `userID`: its user, at most maximumItems items
// with distinct drop ids, a session that ends after its confirmation and at most 90 days
// later, no negative count or version, then the preferences and every item. Throws
// AccountError::invalidResponse. The session end is not compared with any clock here.
void validateCache(const AccountCache& cache, const QString& userID);
// The reader's summary as the service returns it, at `now`: a user id of 1 to 512 bytes, name
// and e-mail of at most 512 bytes, a session end after now and at most 90 days ahead, no
// negative count. Throws AccountError::invalidResponse.
void validateSummary(const AccountSummary& me, Date now);
// A session token: 1 to maximumTokenBytes bytes, and no control, format, surrogate or white
// space character of any kind (a token travels in an HTTP header). Throws
// AccountError::invalidResponse.
void validateToken(QStringView token);

// A drop or event id in its standard text form: 32 hexadecimal digits of either case in groups
// of 8, 4, 4, 4 and 12 joined by hyphens, nothing around them (no braces). None otherwise.
std::optional<QUuid> parseID(QStringView text);
// The service's spelling of an id: the standard form in upper case.
QString wireID(const QUuid& id);

// The length of the text in UTF-8, counted without converting it.
qsizetype utf8Length(QStringView text);
// SHA-256 of the text's UTF-8 bytes as 64 lower-case hexadecimal digits.
QString digest(QStringView text);

// Service text (a user code, a name, an e-mail address) as the views show it: without C0 and
// C1 control characters and without the bidirectional embedding, override and isolate
// characters, which could disguise what the reader reads. For display only: stored values
// stay as received.
QString displayText(const QString& text);

} // namespace AccountCoding

// Where the account lives on this computer. Every key carries the digest of the service
// address as configured, fully encoded: a trailing "/" and an explicit port are kept, so
// distinct addresses never share a credential or a cache.
namespace AccountKeys {

// The digest of the address, or of "unconfigured" for a build without a service.
QString serviceDigest(const std::optional<QUrl>& baseURL);
// "reader.session.v1." and the service digest: the keyring account of the credential.
QString credentialKey(const std::optional<QUrl>& baseURL);
// "reader.session.unconfirmed.v1." and the service digest: the key under which the local store
// names (by their session ids) the credentials of sign-ins whose keyring write failed, until
// the keyring is known not to hold them. Every such record's key starts with it; a version that
// named only the latest credential kept its one record under this key itself.
QString unconfirmedCredentialKey(const std::optional<QUrl>& baseURL);
// The key above, "." and the session id: the record naming one credential.
QString unconfirmedCredentialKey(const std::optional<QUrl>& baseURL, const QString& sessionID);
// "reader.account.v1.", the service digest, the digest of the user id and the session id,
// joined by ".": the local-store key of one session's cache.
QString cacheKey(const std::optional<QUrl>& baseURL, const QString& userID, const QString& sessionID);

} // namespace AccountKeys

} // namespace brindlewick
