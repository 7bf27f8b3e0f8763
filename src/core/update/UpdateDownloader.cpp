#include "update/UpdateDownloader.h"

#include "foundation/Completion.h"
#include "service/TightenedRequest.h"

#include <QBuffer>
#include <QFile>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>

#include <algorithm>
#include <optional>
#include <vector>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

// Qt holds at most this much of the body before it is written out.
constexpr qint64 downloadChunkBytes = 256 * 1024;

QString bytes(qint64 count) {
  return QLocale().toString(count);
}

// How a transfer failed on the network, told apart so that the reader learns what to do.
enum class Failure { unreachable, timedOut, certificate, interrupted };

Failure failureOf(QNetworkReply::NetworkError error) {
  switch (error) {
  case QNetworkReply::SslHandshakeFailedError: return Failure::certificate;
  // Qt gives up a transfer that received nothing for its inactivity time-out as cancelled;
  // a cancellation of ours settles the transfer before Qt reports anything.
  case QNetworkReply::OperationCanceledError:
  case QNetworkReply::TimeoutError:
  case QNetworkReply::ProxyTimeoutError: return Failure::timedOut;
  case QNetworkReply::ConnectionRefusedError:
  case QNetworkReply::HostNotFoundError:
  case QNetworkReply::TemporaryNetworkFailureError:
  case QNetworkReply::NetworkSessionFailedError:
  case QNetworkReply::UnknownNetworkError:
  case QNetworkReply::ProxyConnectionRefusedError:
  case QNetworkReply::ProxyNotFoundError: return Failure::unreachable;
  default: return Failure::interrupted;
  }
}

} // namespace

// What one transfer wants: which of the two it is (every failure names it), where its body
// goes and how much of it there may be.
struct UpdateDownloader::Transfer {
  bool isFeed = false;
  QIODevice* sink = nullptr;
  // The feed: at most this many bytes. The download: exactly this many.
  qint64 bound = 0;
  std::function<void(qint64)> progress;
  // Whole seconds the transfer may last, redirects included; none for no limit.
  std::optional<double> deadline;
  // Set once the deadline has passed.
  bool expired = false;

  QString subject() const { return isFeed ? u"The update feed"_s : u"The update download"_s; }

  UpdateDownloadError failed(Failure failure) const {
    switch (failure) {
    case Failure::unreachable:
      return UpdateDownloadError(
          isFeed
              ? u"The update feed could not be reached. Check your connection and try again."_s
              : u"The update download's server could not be reached. Check your connection and try again."_s);
    case Failure::timedOut:
      return UpdateDownloadError(
          isFeed ? u"The update feed took too long to answer. Check your connection and try again."_s
                 : u"The update download took too long. Check your connection and try again."_s);
    case Failure::certificate:
      return UpdateDownloadError(isFeed ? u"The update feed's certificate was not accepted."_s
                                        : u"The update download's server certificate was not accepted."_s);
    case Failure::interrupted: break;
    }
    return UpdateDownloadError(
        isFeed ? u"Reading the update feed was interrupted. Check your connection and try again."_s
               : u"The update download was interrupted. Check your connection and try again."_s);
  }
  UpdateDownloadError httpError(int status) const {
    return UpdateDownloadError((isFeed ? u"The update feed answered with HTTP error %1."_s
                                       : u"The update download's server answered with HTTP error %1."_s)
                                   .arg(status));
  }
  UpdateDownloadError redirected(const QString& where) const {
    return UpdateDownloadError(subject() + u" was redirected "_s + where);
  }
  // A body declared or found longer than it may be.
  UpdateDownloadError declaredLength(qint64 declared) const {
    if (isFeed)
      return tooLarge();
    return UpdateDownloadError(u"The download is %1 bytes, not the %2 bytes the update feed announced."_s.arg(
        bytes(declared), bytes(bound)));
  }
  UpdateDownloadError tooLarge() const {
    return UpdateDownloadError(
        isFeed
            ? u"The update feed is larger than %1 bytes, more than any update feed holds."_s.arg(bytes(bound))
            : u"The download is larger than the %1 bytes the update feed announced."_s.arg(bytes(bound)));
  }
  UpdateDownloadError notSaved(const QString& reason) const {
    return UpdateDownloadError(u"The update could not be saved: %1"_s.arg(reason));
  }
};

// One request of a transfer (the first, or one after a redirect).
struct UpdateDownloader::Attempt {
  // How it ended: the status, and for a redirect where it points.
  struct End {
    int status = 0;
    QString location;
  };

  QPointer<QNetworkReply> reply;
  Completion<End> completion;
  std::shared_ptr<Transfer> transfer;
  qint64 received = 0;
  int status = 0;
  CancellationRegistration cancellation;
  std::vector<QMetaObject::Connection> connections;

  template <typename E> void fail(E error) {
    if (completion.isSettled())
      return;
    completion.fail(std::move(error));
    stop();
  }

  void stop() {
    for (const auto& connection : connections)
      QObject::disconnect(connection);
    connections.clear();
    if (reply) {
      reply->abort();
      reply->deleteLater();
    }
  }

  void readHead() {
    if (status != 0 || completion.isSettled() || !reply)
      return;
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!code.isValid())
      return;
    status = code.toInt();
    if (status >= 300 && status <= 399)
      return;
    if (status != 200) {
      fail(transfer->httpError(status));
      return;
    }
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!declared.isValid())
      return;
    const qint64 length = declared.toLongLong();
    if (transfer->isFeed ? length > transfer->bound : length != transfer->bound)
      fail(transfer->declaredLength(length));
  }

  void readBody() {
    readHead();
    if (status != 200 || completion.isSettled() || !reply)
      return;
    QByteArray chunk;
    while (reply->bytesAvailable() > 0) {
      // One byte past the bound is enough to refuse the body.
      const qint64 wanted =
          std::min({reply->bytesAvailable(), transfer->bound + 1 - received, downloadChunkBytes});
      chunk.resize(wanted);
      const qint64 got = reply->read(chunk.data(), wanted);
      if (got <= 0)
        break;
      if (received + got > transfer->bound) {
        fail(transfer->tooLarge());
        return;
      }
      if (transfer->sink->write(chunk.constData(), got) != got) {
        fail(transfer->notSaved(transfer->sink->errorString()));
        return;
      }
      received += got;
    }
    if (transfer->progress)
      transfer->progress(received);
  }

  void finish() {
    readBody();
    if (completion.isSettled() || !reply)
      return;
    if (reply->error() != QNetworkReply::NoError && (status == 0 || status == 200)) {
      fail(transfer->failed(failureOf(reply->error())));
      return;
    }
    if (status == 0) {
      fail(transfer->failed(Failure::interrupted));
      return;
    }
    End end{status, QString::fromUtf8(reply->rawHeader("Location"))};
    completion.resolve(std::move(end));
    stop();
  }
};

UpdateDownloader::UpdateDownloader(QObject* parent) : UpdateDownloader(Options{}, parent) {}

UpdateDownloader::UpdateDownloader(Options options, QObject* parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this)), m_options(std::move(options)) {
  if (!m_options.scheduler)
    m_options.scheduler = &DelayScheduler::system();
  m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  m_manager->setStrictTransportSecurityEnabled(false);
  m_manager->setAutoDeleteReplies(false);
  m_manager->setCookieJar(nullptr);
}

UpdateDownloader::~UpdateDownloader() {
  for (const auto& attempt : m_attempts) {
    attempt->cancellation.reset();
    attempt->fail(attempt->transfer->failed(Failure::interrupted));
  }
}

QCoro::Task<QByteArray> UpdateDownloader::readFeed(QUrl url, qint64 limit, CancellationToken cancellation) {
  cancellation.throwIfCancelled();
  QByteArray body;
  QBuffer buffer(&body);
  buffer.open(QIODevice::WriteOnly);
  auto transfer = std::make_shared<Transfer>();
  transfer->isFeed = true;
  transfer->sink = &buffer;
  transfer->bound = limit;
  transfer->deadline = m_options.feedDeadlineSeconds;
  QCoro::Task<void> reading = run(transfer, std::move(url), std::move(cancellation));
  co_await std::move(reading);
  buffer.close();
  co_return body;
}

QCoro::Task<void> UpdateDownloader::download(QUrl url, qint64 length, QString destination,
                                             std::function<void(qint64)> progress,
                                             CancellationToken cancellation) {
  cancellation.throwIfCancelled();
  QFile::remove(destination);
  QFile file(destination);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    throw UpdateDownloadError(u"The update could not be saved: %1"_s.arg(file.errorString()));
  auto transfer = std::make_shared<Transfer>();
  transfer->sink = &file;
  transfer->bound = length;
  transfer->progress = std::move(progress);
  try {
    QCoro::Task<void> fetching = run(transfer, std::move(url), std::move(cancellation));
    co_await std::move(fetching);
    if (!file.flush())
      throw UpdateDownloadError(u"The update could not be saved: %1"_s.arg(file.errorString()));
    if (file.size() != length)
      throw UpdateDownloadError(
          u"The download ended after %1 of the %2 bytes the update feed announced."_s.arg(bytes(file.size()),
                                                                                          bytes(length)));
    file.close();
  } catch (...) {
    file.close();
    QFile::remove(destination);
    throw;
  }
}

QCoro::Task<void> UpdateDownloader::run(std::shared_ptr<Transfer> transfer, QUrl url,
                                        CancellationToken cancellation) {
  if (url.scheme() != "https"_L1 || url.host().isEmpty() || !url.userName().isEmpty() ||
      !url.password().isEmpty())
    throw UpdateDownloadError(transfer->subject() + u"'s address is not an https address."_s);

  const QPointer<UpdateDownloader> self(this);
  // The attempt under way, for the deadline to end.
  auto current = std::make_shared<std::weak_ptr<Attempt>>();
  DelayScheduler* scheduler = m_options.scheduler;
  DelayScheduler::TimerId deadline = 0;
  if (transfer->deadline) {
    deadline = scheduler->schedule(*transfer->deadline, [transfer, current] {
      transfer->expired = true;
      if (const std::shared_ptr<Attempt> attempt = current->lock())
        attempt->fail(transfer->failed(Failure::timedOut));
    });
  }
  // The scheduler outlives every transfer; the timer goes however this ends.
  const auto stopDeadline = qScopeGuard([scheduler, deadline] { scheduler->cancel(deadline); });

  for (int redirects = 0;; ++redirects) {
    url.setFragment(QString());
    QNetworkRequest request =
        tightenedRequest(url, m_options.inactivityTimeoutMilliseconds, m_options.additionalCaCertificates);
    // What arrives is what is signed (the archive), or small enough to need no compression
    // (the feed).
    request.setRawHeader("Accept-Encoding", "identity");
    if (transfer->isFeed)
      request.setRawHeader("Accept", "application/json");

    auto attempt = std::make_shared<Attempt>();
    attempt->transfer = transfer;
    attempt->reply = m_manager->get(request);
    attempt->reply->setReadBufferSize(downloadChunkBytes);
    Attempt* a = attempt.get();
    QNetworkReply* reply = attempt->reply;
    a->connections.push_back(connect(reply, &QNetworkReply::metaDataChanged, reply, [a] { a->readHead(); }));
    a->connections.push_back(connect(reply, &QNetworkReply::readyRead, reply, [a] { a->readBody(); }));
    a->connections.push_back(connect(reply, &QNetworkReply::finished, reply, [a] { a->finish(); }));
    a->cancellation = cancellation.onCancel([a] { a->fail(CancelledError()); });
    if (transfer->expired)
      a->fail(transfer->failed(Failure::timedOut));
    *current = attempt;
    m_attempts.insert(attempt);

    const auto release = [&] {
      attempt->cancellation.reset();
      attempt->stop();
      if (self)
        m_attempts.erase(attempt);
    };
    Attempt::End end;
    try {
      end = co_await attempt->completion;
    } catch (...) {
      release();
      throw;
    }
    release();
    if (!self)
      throw transfer->failed(Failure::interrupted);
    if (end.status < 300 || end.status > 399)
      co_return;

    const QUrl location(end.location, QUrl::StrictMode);
    const QUrl next = url.resolved(location);
    if (!end.location.isEmpty() && location.isValid() &&
        (!next.userName().isEmpty() || !next.password().isEmpty()))
      throw transfer->redirected(u"to an address with a user name or password."_s);
    if (end.location.isEmpty() || !location.isValid() || next.scheme() != "https"_L1 || next.host().isEmpty())
      throw transfer->redirected(u"to an address that is not https."_s);
    if (redirects == maximumRedirects)
      throw transfer->redirected(u"too many times."_s);
    url = next;
  }
}

} // namespace brindlewick
