#include "account/SyncService.h"

#include "content/ContentContracts.h"
#include "service/ServiceError.h"

#include <QPointer>

#include <utility>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

const QString failurePrefix = u"Sync failed; last-good content was retained. "_s;
const QString upToDate = u"Your content is up to date."_s;
const QString updated = u"Content updated. Saved revisions are unchanged."_s;

bool isReleaseUnavailable(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const ServiceError& serviceError) {
    return serviceError.kind() == ServiceError::Kind::releaseUnavailable;
  } catch (...) {
    return false;
  }
}

} // namespace

SyncError::SyncError(int statusCode)
    : m_statusCode(statusCode), m_what(u"The content service returned HTTP %1."_s.arg(statusCode).toUtf8()) {}

QString failureDescription(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& failure) {
    return QString::fromUtf8(failure.what());
  } catch (...) {
    return u"An unexpected error occurred."_s;
  }
}

SyncService::SyncService(ContentRepository& repository, RequestProvider& requestProvider, QString appVersion,
                         NowSource now, QObject* parent)
    : QObject(parent), m_repository(repository), m_requestProvider(requestProvider),
      m_appVersion(std::move(appVersion)), m_now(std::move(now)) {}

SyncService::~SyncService() {
  m_lifetime.cancel();
}

QCoro::Task<> SyncService::sync() {
  if (m_isBusy)
    co_return;
  setBusy(true);
  const QPointer<SyncService> self(this);
  const CancellationToken cancellation = m_lifetime.token();

  // A coroutine cannot await inside a handler, so each pass only notes how it ended.
  std::exception_ptr failure;
  try {
    co_await fetchLatest(true, cancellation);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!self)
    co_return;
  if (failure && isReleaseUnavailable(failure)) {
    // The stored tag may be what keeps a stale manifest coming: ask afresh, once.
    failure = nullptr;
    try {
      co_await fetchLatest(false, cancellation);
    } catch (...) {
      failure = std::current_exception();
    }
    if (!self)
      co_return;
  }
  if (failure)
    setMessage(failurePrefix + failureDescription(failure));
  setBusy(false);
}

QCoro::Task<> SyncService::fetchLatest(bool useETag, CancellationToken cancellation) {
  const QPointer<SyncService> self(this);
  // The stored tag stands for the installed release: without one it would only earn a 304
  // that leaves nothing to show.
  std::optional<QString> etag;
  if (useETag && m_repository.release())
    etag = m_repository.manifestETag();

  const APIResponse manifestReply = co_await m_requestProvider.authorizedRequest(
      manifestPath, u"GET"_s, std::nullopt, manifestLimit, std::move(etag), cancellation);
  if (!self)
    throw CancelledError();
  if (manifestReply.statusCode == 304) {
    if (!m_repository.release())
      throw SyncError::http(304);
    succeed(upToDate);
    co_return;
  }
  if (manifestReply.statusCode != 200)
    throw SyncError::http(manifestReply.statusCode);

  const ContentManifest manifest = ContractValidation::decodeManifest(manifestReply.body, m_appVersion);
  if (m_repository.manifest() == manifest) {
    // Unchanged content: not even the reply's tag is stored.
    succeed(upToDate);
    co_return;
  }

  const APIResponse releaseReply =
      co_await m_requestProvider.authorizedRequest(releasePathPrefix + manifest.releaseId, u"GET"_s,
                                                   std::nullopt, releaseLimit, std::nullopt, cancellation);
  if (!self)
    throw CancelledError();
  if (releaseReply.statusCode != 200)
    throw SyncError::http(releaseReply.statusCode);

  // A manifest without a tag removes the stored one: it described an older manifest.
  const auto tag = manifestReply.headers.constFind(u"etag"_s);
  const std::optional<QString> newTag =
      tag == manifestReply.headers.constEnd() ? std::nullopt : std::optional<QString>(*tag);
  m_repository.install(releaseReply.body, manifest, newTag, m_now());
  succeed(updated);
}

void SyncService::succeed(const QString& message) {
  setLastSuccess(m_now());
  setMessage(message);
}

void SyncService::setBusy(bool busy) {
  if (m_isBusy == busy)
    return;
  m_isBusy = busy;
  Q_EMIT isBusyChanged();
}

void SyncService::setMessage(std::optional<QString> message) {
  if (m_message == message)
    return;
  m_message = std::move(message);
  Q_EMIT messageChanged();
}

void SyncService::setLastSuccess(Date date) {
  if (m_lastSuccess == date)
    return;
  m_lastSuccess = date;
  Q_EMIT lastSuccessChanged();
}

} // namespace brindlewick
