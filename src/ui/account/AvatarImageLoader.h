#pragma once

#include "foundation/Cancellation.h"
#include "service/NativeAPIClient.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace brindlewick {

// Loads the reader's profile photos for every avatar of the process (the toolbar's, the
// menu's and the card's show the same one): a small cache of decoded images by address, and
// at most one request per address, shared by whoever waits for it. A request nobody waits
// for any more is cancelled. A failure is not cached and nothing is retried by itself: the
// next load() of that address asks again.
//
// Photos come through the service transport's tightened transfer (NativeAPIClient::fetch):
// https only, same-host redirects, no cookies or cache, capped at maximumBytes. They are
// decoded once, scaled so that the shorter side covers the largest avatar in device pixels.
// Addresses are never logged. Main thread only.
class AvatarImageLoader : public QObject {
  Q_OBJECT

public:
  static constexpr qint64 maximumBytes = 5 * 1024 * 1024;
  // A photo whose pixels would take more than this is refused before it is decoded.
  static constexpr qint64 maximumDecodedBytes = 64 * 1024 * 1024;
  static constexpr int cacheCapacity = 8;
  // The menu header's avatar, the largest there is.
  static constexpr qreal largestDiameter = 36;

  // The process's loader, made on first use and deleted with the application object. Its
  // transport trusts the system's certificates.
  static AvatarImageLoader& instance();

  explicit AvatarImageLoader(QObject* parent = nullptr);
  ~AvatarImageLoader() override;

  // Replaces the transport (a test's, trusting its own authority); cancels every request
  // and empties the cache.
  void setClient(std::unique_ptr<NativeAPIClient> client);

  // A wait for one address's image; dropping it (or load() into it again) stops waiting.
  class Ticket {
  public:
    Ticket() = default;
    Ticket(Ticket&& other) noexcept { *this = std::move(other); }
    Ticket& operator=(Ticket&& other) noexcept;
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;
    ~Ticket() { release(); }
    void release();
    bool isWaiting() const;

  private:
    friend class AvatarImageLoader;
    QPointer<AvatarImageLoader> m_loader;
    QString m_key;
    quint64 m_id = 0;
  };

  // The decoded image of `url` when it is cached (which makes it the most recent entry).
  std::optional<QImage> cached(const QUrl& url);
  // Waits for `url`'s image, joining the request in flight for it or starting one. `done`
  // runs once, later, with the image, or with a null image when it could not be loaded,
  // unless the ticket was released first. Check cached() first: this always asks the network
  // unless a request is already in flight.
  [[nodiscard]] Ticket load(const QUrl& url, std::function<void(const QImage&)> done);
  // Requests in flight.
  int pending() const { return int(m_requests.size()); }

  // Decodes `bytes` as an image no larger than maximumDecodedBytes, scaled (never enlarged)
  // so that its shorter side is `shorterSide` pixels; a null image for anything else.
  static QImage decode(const QByteArray& bytes, int shorterSide);

private:
  struct Request {
    CancellationSource cancellation;
    std::map<quint64, std::function<void(const QImage&)>> waiters;
  };

  static QString keyOf(const QUrl& url);
  NativeAPIClient& client();
  QCoro::Task<> run(QString key, QUrl url, CancellationToken token);
  void release(const QString& key, quint64 id);
  void remember(const QString& key, const QImage& image);

  std::unique_ptr<NativeAPIClient> m_client;
  std::map<QString, Request> m_requests;
  // Most recently used last.
  QList<std::pair<QString, QImage>> m_cache;
  quint64 m_nextTicket = 1;
};

} // namespace brindlewick
