#pragma once

#include "app/LaunchRequest.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

namespace brindlewick {

class SingleInstance;

// The requests of later starts, from the moment this instance listens until the reader can
// carry them out. The running instance answers a later start as soon as it has its request,
// while its own model may still be opening (a keyring that asks to be unlocked can take a
// minute); the requests are kept meanwhile and carried out in the order they came, each with
// the startup id it was sent with. Main thread only.
class LaunchRequestQueue final : public QObject {
  Q_OBJECT

public:
  using Handler = std::function<void(const LaunchRequest&)>;

  // Keeps what `instance` hears of from now on: make it before the instance starts.
  explicit LaunchRequestQueue(SingleInstance* instance = nullptr, QObject* parent = nullptr);

  // Keeps `request` behind the ones already kept (the first start's own request).
  void enqueue(const LaunchRequest& request);
  // From now on hands every request to `handler` while `context` lives, the kept ones at once,
  // oldest first. One that comes while the handler still runs (a modal alert spins its own
  // event loop) waits for its turn.
  void deliverTo(QObject* context, Handler handler);
  // From now on, while `context` lives, a request that `serve` answers true for is served where
  // it arrives and never kept: the start-up alert on screen is brought forward for it, whether
  // the alert waits before requests are carried out or inside the handler of an earlier one.
  void serveAtOnce(QObject* context, std::function<bool(const LaunchRequest&)> serve);
  // Offers the requests kept so far to that `serve`, oldest first, and keeps only those it did not
  // serve: starts that came while the model opened are served by the alert once it shows, as
  // the ones that come while it shows are.
  void serveKept();

  qsizetype pendingCount() const { return m_pending.size(); }

Q_SIGNALS:
  // A request was kept for later: nobody carries requests out yet.
  void kept(const brindlewick::LaunchRequest& request);

private:
  void deliverPending();

  QList<LaunchRequest> m_pending;
  QPointer<QObject> m_context;
  Handler m_handler;
  QPointer<QObject> m_serveContext;
  std::function<bool(const LaunchRequest&)> m_serve;
  bool m_delivering = false;
};

} // namespace brindlewick
