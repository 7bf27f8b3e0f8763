#include "update/UpdateDownloader.h"

#include "foundation/Completion.h"
#include "service/TightenedRequest.h"

#include <QFile>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

// Qt holds at most this much of the body before it is written out.
constexpr qint64 downloadChunkBytes = 256 * 1024;

QString bytes(qint64 count) {
  return QLocale().toString(count);
}

UpdateDownloadError interrupted() {
  return UpdateDownloadError(u"The download was interrupted. Check the connection and try again."_s);
}

} // namespace

// One request of a download (the first, or one after a redirect).
struct UpdateDownloader::Attempt {
  // How it ended: the status, and for a redirect where it points.
  struct End {
    int status = 0;
    QString location;
  };

  QPointer<QNetworkReply> reply;
  Completion<End> completion;
  QFile* file = nullptr;
  qint64 length = 0;
  qint64 received = 0;
  int status = 0;
  std::function<void(qint64)> progress;
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
      fail(UpdateDownloadError(u"The update server answered with status %1."_s.arg(status)));
      return;
    }
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toLongLong() != length)
      fail(UpdateDownloadError(u"The download is %1 bytes, not the %2 bytes the update feed announced."_s.arg(
          bytes(declared.toLongLong()), bytes(length))));
  }

  void readBody() {
    readHead();
    if (status != 200 || completion.isSettled() || !reply)
      return;
    QByteArray chunk;
    while (reply->bytesAvailable() > 0) {
      // One byte past the announced length is enough to refuse the file.
      const qint64 wanted = std::min({reply->bytesAvailable(), length + 1 - received, downloadChunkBytes});
      chunk.resize(wanted);
      const qint64 got = reply->read(chunk.data(), wanted);
      if (got <= 0)
        break;
      if (received + got > length) {
        fail(UpdateDownloadError(
            u"The download is larger than the %1 bytes the update feed announced."_s.arg(bytes(length))));
        return;
      }
      if (file->write(chunk.constData(), got) != got) {
        fail(UpdateDownloadError(u"The update could not be saved: %1"_s.arg(file->errorString())));
        return;
      }
      received += got;
    }
    if (progress)
      progress(received);
  }

  void finish() {
    readBody();
    if (completion.isSettled() || !reply)
      return;
    if (status == 0 || (status == 200 && reply->error() != QNetworkReply::NoError)) {
      fail(interrupted());
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
  m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  m_manager->setStrictTransportSecurityEnabled(false);
  m_manager->setAutoDeleteReplies(false);
  m_manager->setCookieJar(nullptr);
}

UpdateDownloader::~UpdateDownloader() {
  for (const auto& attempt : m_attempts) {
    attempt->cancellation.reset();
    attempt->fail(interrupted());
  }
}

QCoro::Task<void> UpdateDownloader::download(QUrl url, qint64 length, QString destination,
                                             std::function<void(qint64)> progress,
                                             CancellationToken cancellation) {
  cancellation.throwIfCancelled();
  if (url.scheme() != "https"_L1 || url.host().isEmpty())
    throw UpdateDownloadError(u"The update's address is not an https address."_s);
  QFile::remove(destination);
  QFile file(destination);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    throw UpdateDownloadError(u"The update could not be saved: %1"_s.arg(file.errorString()));

  const QPointer<UpdateDownloader> self(this);
  try {
    for (int redirects = 0;; ++redirects) {
      url.setFragment(QString());
      QNetworkRequest request =
          tightenedRequest(url, m_options.inactivityTimeoutMilliseconds, m_options.additionalCaCertificates);
      // An archive is compressed already; what arrives is what is signed.
      request.setRawHeader("Accept-Encoding", "identity");

      auto attempt = std::make_shared<Attempt>();
      attempt->file = &file;
      attempt->length = length;
      attempt->progress = progress;
      attempt->reply = m_manager->get(request);
      attempt->reply->setReadBufferSize(downloadChunkBytes);
      Attempt* a = attempt.get();
      QNetworkReply* reply = attempt->reply;
      a->connections.push_back(
          connect(reply, &QNetworkReply::metaDataChanged, reply, [a] { a->readHead(); }));
      a->connections.push_back(connect(reply, &QNetworkReply::readyRead, reply, [a] { a->readBody(); }));
      a->connections.push_back(connect(reply, &QNetworkReply::finished, reply, [a] { a->finish(); }));
      a->cancellation = cancellation.onCancel([a] { a->fail(CancelledError()); });
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
        throw interrupted();
      if (end.status < 300 || end.status > 399)
        break;

      const QUrl location(end.location, QUrl::StrictMode);
      const QUrl next = url.resolved(location);
      if (end.location.isEmpty() || !location.isValid() || next.scheme() != "https"_L1 ||
          next.host().isEmpty() || !next.userName().isEmpty() || !next.password().isEmpty())
        throw UpdateDownloadError(u"The download was redirected to an address that is not https."_s);
      if (redirects == maximumRedirects)
        throw UpdateDownloadError(u"The download was redirected too many times."_s);
      url = next;
    }
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

} // namespace brindlewick
