#include "app/LaunchRequestQueue.h"

#include "app/SingleInstance.h"

#include <utility>

namespace brindlewick {

LaunchRequestQueue::LaunchRequestQueue(SingleInstance* instance, QObject* parent) : QObject(parent) {
  if (!instance)
    return;
  for (auto signal :
       {&SingleInstance::reopenRequested, &SingleInstance::linksReceived, &SingleInstance::actionRequested})
    connect(instance, signal, this, &LaunchRequestQueue::enqueue);
}

void LaunchRequestQueue::enqueue(const LaunchRequest& request) {
  if (m_serveContext && m_serve && m_serve(request))
    return;
  m_pending.append(request);
  deliverPending();
  if (!m_context || !m_handler)
    Q_EMIT kept(request);
}

void LaunchRequestQueue::deliverTo(QObject* context, Handler handler) {
  m_context = context;
  m_handler = std::move(handler);
  deliverPending();
}

void LaunchRequestQueue::serveAtOnce(QObject* context, std::function<bool(const LaunchRequest&)> serve) {
  m_serveContext = context;
  m_serve = std::move(serve);
}

void LaunchRequestQueue::serveKept() {
  if (!m_serveContext || !m_serve)
    return;
  const QList<LaunchRequest> kept = std::exchange(m_pending, {});
  for (const LaunchRequest& request : kept) {
    if (!m_serve(request))
      m_pending.append(request);
  }
}

void LaunchRequestQueue::deliverPending() {
  if (m_delivering)
    return;
  m_delivering = true;
  while (m_context && m_handler && !m_pending.isEmpty()) {
    const LaunchRequest next = m_pending.takeFirst();
    // The handler may hand deliveries elsewhere while it runs: it runs as a copy.
    const Handler handler = m_handler;
    handler(next);
  }
  m_delivering = false;
}

} // namespace brindlewick
