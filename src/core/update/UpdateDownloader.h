#pragma once

#include "foundation/Cancellation.h"

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

class QNetworkAccessManager;

namespace brindlewick {

// Why a download did not give the announced file, in words for the reader.
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

// Fetches an update archive to a file, over https only: a redirect to anything else is
// refused before anything is sent there. The body goes straight to the file in bounded
// chunks, and never one byte more than the feed announced is kept. Nothing is cached and no
// cookie is kept or sent. Main thread only.
class UpdateDownloader : public QObject {
  Q_OBJECT

public:
  struct Options {
    // Certificates trusted besides the system's (the stand-in's test authority); the checks
    // themselves are never turned off.
    QList<QSslCertificate> additionalCaCertificates;
    // A download that receives nothing for this long fails.
    int inactivityTimeoutMilliseconds = 30000;
  };
  static constexpr int maximumRedirects = 5;

  explicit UpdateDownloader(QObject* parent = nullptr);
  explicit UpdateDownloader(Options options, QObject* parent = nullptr);
  // Stops every download still running; each fails as interrupted and removes its file.
  ~UpdateDownloader() override;

  // Writes the file at `url` to `destination` (made for this user alone, replacing what is
  // there) and calls `progress` with the bytes received so far. Returns once the file holds
  // exactly `length` bytes; otherwise throws UpdateDownloadError, or CancelledError when the
  // token is cancelled, and removes the file.
  QCoro::Task<void> download(QUrl url, qint64 length, QString destination,
                             std::function<void(qint64)> progress, CancellationToken cancellation);

private:
  struct Attempt;

  QNetworkAccessManager* m_manager;
  Options m_options;
  std::set<std::shared_ptr<Attempt>> m_attempts;
};

} // namespace brindlewick
