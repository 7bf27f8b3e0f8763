#pragma once

#include "foundation/Cancellation.h"
#include "foundation/DelayScheduler.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <exception>
#include <functional>
#include <memory>
#include <set>

class QIODevice;
class QNetworkAccessManager;

namespace brindlewick {

// Why the feed or a download did not give what it should, in words for the reader that name
// which of the two failed.
class UpdateDownloadError : public std::exception {
public:
  explicit UpdateDownloadError(QString description)
      : m_description(std::move(description)), m_what(m_description.toUtf8()) {}
  const QString& description() const { return m_description; }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_description;
  QByteArray m_what;
};

// The updater's transfers: the update feed, read into memory, and an update archive, fetched
// to a file. Over https only: a redirect to anything else, or to an address carrying a user
// name or password, is refused before anything is sent there. A body is read in bounded
// chunks and never one byte more than it may have is kept. Nothing is cached and no cookie is
// kept or sent. A failure says what failed in plain words: could not be reached, took too
// long, a certificate not accepted, an HTTP error, a redirect refused, interrupted. Main
// thread only.
class UpdateDownloader : public QObject {
  Q_OBJECT

public:
  struct Options {
    // Certificates trusted besides the system's (the stand-in's test authority); the checks
    // themselves are never turned off.
    QList<QSslCertificate> additionalCaCertificates;
    // A transfer that receives nothing for this long fails.
    int inactivityTimeoutMilliseconds = 30000;
    // The clock of the feed's deadline; the system's boot-time clock when null.
    DelayScheduler* scheduler = nullptr;
    // A feed is small: one still arriving after this long, however slowly it trickles in,
    // is given up.
    double feedDeadlineSeconds = 60.0;
  };
  static constexpr int maximumRedirects = 5;

  explicit UpdateDownloader(QObject* parent = nullptr);
  explicit UpdateDownloader(Options options, QObject* parent = nullptr);
  // Stops every transfer still running; each fails as interrupted (a download removes its
  // file).
  ~UpdateDownloader() override;

  // The feed at `url`, at most `limit` bytes. Throws UpdateDownloadError naming the feed, or
  // CancelledError when the token is cancelled.
  QCoro::Task<QByteArray> readFeed(QUrl url, qint64 limit, CancellationToken cancellation);

  // Writes the file at `url` to `destination` (made for this user alone, replacing what is
  // there) and calls `progress` with the bytes received so far. Returns once the file holds
  // exactly `length` bytes; otherwise throws UpdateDownloadError naming the download, or
  // CancelledError when the token is cancelled, and removes the file.
  QCoro::Task<void> download(QUrl url, qint64 length, QString destination,
                             std::function<void(qint64)> progress, CancellationToken cancellation);

private:
  struct Attempt;
  struct Transfer;

  // Fetches `url` into the transfer's sink, following https redirects.
  QCoro::Task<void> run(std::shared_ptr<Transfer> transfer, QUrl url, CancellationToken cancellation);

  QNetworkAccessManager* m_manager;
  Options m_options;
  std::set<std::shared_ptr<Attempt>> m_attempts;
};

} // namespace brindlewick
