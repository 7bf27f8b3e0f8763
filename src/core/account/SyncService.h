#pragma once

#include "account/RequestProvider.h"
#include "content/ContentRepository.h"
#include "foundation/Cancellation.h"
#include "foundation/Date.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QCoroTask>

#include <exception>
#include <optional>

namespace brindlewick {

// The error of the content sync service: a reply whose status it does not accept.
class SyncError : public std::exception {
public:
  static SyncError http(int statusCode) { return SyncError(statusCode); }

  int statusCode() const { return m_statusCode; }
  // "The content service returned HTTP <status>."
  QString description() const { return QString::fromUtf8(m_what); }
  const char* what() const noexcept override { return m_what.constData(); }

  friend bool operator==(const SyncError& a, const SyncError& b) { return a.m_statusCode == b.m_statusCode; }

private:
  explicit SyncError(int statusCode);

  int m_statusCode;
  QByteArray m_what;
};

// The text a reader is shown for a failure: every error of the program carries it as its
// what(); anything else is an unexpected failure.
QString failureDescription(const std::exception_ptr& error);

// A self-contained content sync on the service's content interface ("/api/v1/content/"):
// fetches the manifest with the stored entity tag, downloads a new release, and has the
// repository check and install it, keeping a status line for the reader and the time of the
// last success. The installed release changes only through the repository's install, so a
// failure at any step keeps the last good release, manifest and entity tag.
//
// Confined to the main thread; the repository and the request provider must outlive it. Each
// property signals only when its value changes. Destroying the service cancels a running sync.
class SyncService final : public QObject {
  Q_OBJECT

public:
  static constexpr qint64 manifestLimit = 16384;
  static constexpr qint64 releaseLimit = 10485760;
  static inline const QString manifestPath = QStringLiteral("/api/v1/content/manifest");
  static inline const QString releasePathPrefix = QStringLiteral("/api/v1/content/releases/");

  // `appVersion` is the version the manifest's minimum is checked against; `now` dates the
  // successes and installations.
  SyncService(ContentRepository& repository, RequestProvider& requestProvider, QString appVersion,
              NowSource now = systemNow, QObject* parent = nullptr);
  ~SyncService() override;

  bool isBusy() const { return m_isBusy; }
  const std::optional<QString>& message() const { return m_message; }
  const std::optional<Date>& lastSuccess() const { return m_lastSuccess; }
  ContentRepository& repository() const { return m_repository; }
  const QString& appVersion() const { return m_appVersion; }

  // Runs one sync and reports through message, lastSuccess and isBusy; never throws. A call
  // while a sync runs returns at once and changes nothing. A release the service no longer
  // publishes is looked for once more from a manifest fetched without the entity tag.
  QCoro::Task<> sync();

Q_SIGNALS:
  void isBusyChanged();
  void messageChanged();
  void lastSuccessChanged();

private:
  // One manifest-and-release pass. Throws whatever ends it.
  QCoro::Task<> fetchLatest(bool useETag, CancellationToken cancellation);
  void succeed(const QString& message);

  void setBusy(bool busy);
  void setMessage(std::optional<QString> message);
  void setLastSuccess(Date date);

  ContentRepository& m_repository;
  RequestProvider& m_requestProvider;
  const QString m_appVersion;
  const NowSource m_now;

  bool m_isBusy = false;
  std::optional<QString> m_message;
  std::optional<Date> m_lastSuccess;
  // Cancelled when the service goes, so that a running sync stops waiting for its reply.
  CancellationSource m_lifetime;
};

} // namespace brindlewick
