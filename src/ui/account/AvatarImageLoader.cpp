#include "ui/account/AvatarImageLoader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImageReader>

#include <QCoroTimer>

#include <chrono>

#include <cmath>

namespace brindlewick {

AvatarImageLoader& AvatarImageLoader::instance() {
  static QPointer<AvatarImageLoader> loader;
  if (!loader)
    loader = new AvatarImageLoader(QCoreApplication::instance());
  return *loader;
}

AvatarImageLoader::AvatarImageLoader(QObject* parent) : QObject(parent) {}

AvatarImageLoader::~AvatarImageLoader() {
  for (auto& [key, request] : m_requests)
    request.cancellation.cancel();
}

void AvatarImageLoader::setClient(std::unique_ptr<NativeAPIClient> client) {
  auto requests = std::move(m_requests);
  m_requests.clear();
  for (auto& [key, request] : requests)
    request.cancellation.cancel();
  m_cache.clear();
  m_client = std::move(client);
}

NativeAPIClient& AvatarImageLoader::client() {
  if (!m_client)
    m_client = std::make_unique<NativeAPIClient>(std::nullopt);
  return *m_client;
}

QString AvatarImageLoader::keyOf(const QUrl& url) {
  return url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

std::optional<QImage> AvatarImageLoader::cached(const QUrl& url) {
  const QString key = keyOf(url);
  for (qsizetype i = 0; i < m_cache.size(); ++i) {
    if (m_cache[i].first == key) {
      m_cache.move(i, m_cache.size() - 1);
      return m_cache.last().second;
    }
  }
  return std::nullopt;
}

void AvatarImageLoader::remember(const QString& key, const QImage& image) {
  m_cache.removeIf([&](const auto& entry) { return entry.first == key; });
  m_cache.append({key, image});
  while (m_cache.size() > cacheCapacity)
    m_cache.removeFirst();
}

AvatarImageLoader::Ticket AvatarImageLoader::load(const QUrl& url, std::function<void(const QImage&)> done) {
  const QString key = keyOf(url);
  Ticket ticket;
  ticket.m_loader = this;
  ticket.m_key = key;
  ticket.m_id = m_nextTicket++;
  auto found = m_requests.find(key);
  const bool starts = found == m_requests.end();
  if (starts)
    found = m_requests.emplace(key, Request{}).first;
  found->second.waiters.emplace(ticket.m_id, std::move(done));
  if (starts)
    run(key, url, found->second.cancellation.token());
  return ticket;
}

void AvatarImageLoader::release(const QString& key, quint64 id) {
  const auto found = m_requests.find(key);
  if (found == m_requests.end() || found->second.waiters.erase(id) == 0 || !found->second.waiters.empty())
    return;
  // Nobody waits for it any more.
  found->second.cancellation.cancel();
  m_requests.erase(found);
}

QCoro::Task<> AvatarImageLoader::run(QString key, QUrl url, CancellationToken token) {
  const QPointer<AvatarImageLoader> self(this);
  const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
  const int side = int(std::ceil(largestDiameter * ratio));
  QImage image;
  try {
    // The caller holds its ticket before anything can end.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (!self || token.isCancelled())
      co_return;
    const APIResponse response = co_await client().fetch(url, "image/*", maximumBytes, token);
    if (response.statusCode == 200)
      image = decode(response.body, side);
  } catch (...) {
    // Every failure shows the account symbol; what failed is of no use to the reader.
  }
  if (!self || token.isCancelled())
    co_return;
  const auto found = m_requests.find(key);
  if (found == m_requests.end())
    co_return;
  const auto waiters = std::move(found->second.waiters);
  m_requests.erase(found);
  if (!image.isNull())
    remember(key, image);
  for (const auto& [id, done] : waiters)
    done(image);
}

QImage AvatarImageLoader::decode(const QByteArray& bytes, int shorterSide) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() * 4 > maximumDecodedBytes)
    return {};
  const int shorter = std::min(size.width(), size.height());
  if (shorter > shorterSide)
    reader.setScaledSize(size.scaled(shorterSide, shorterSide, Qt::KeepAspectRatioByExpanding));
  QImage image = reader.read();
  if (image.isNull())
    return {};
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

AvatarImageLoader::Ticket& AvatarImageLoader::Ticket::operator=(Ticket&& other) noexcept {
  if (this != &other) {
    release();
    m_loader = std::move(other.m_loader);
    m_key = std::move(other.m_key);
    m_id = std::exchange(other.m_id, 0);
    other.m_loader = nullptr;
  }
  return *this;
}

void AvatarImageLoader::Ticket::release() {
  if (m_loader && m_id != 0)
    m_loader->release(m_key, m_id);
  m_loader = nullptr;
  m_id = 0;
}

bool AvatarImageLoader::Ticket::isWaiting() const {
  if (!m_loader || m_id == 0)
    return false;
  const auto found = m_loader->m_requests.find(m_key);
  return found != m_loader->m_requests.end() && found->second.waiters.count(m_id) > 0;
}

} // namespace brindlewick
