#pragma once

#include "DeviceGrants.h"
#include "PublishedContent.h"
#include "StandInAccounts.h"
#include "StandInHttp.h"
#include "StandInUpdates.h"
#include "TestCertificateAuthority.h"
#include "foundation/DelayScheduler.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

class QHttpServer;
class QHttpServerResponder;

namespace brindlewick {

// A scripted misbehaviour of one route, for the next `times` requests or for all of them.
// A status or a body answers in place of the route: its handler does not run, so nothing
// changes in the stand-in's state. Header changes apply to whichever reply goes out.
struct StandInFault {
  static constexpr int always = -1;

  int times = 1;
  std::optional<int> status = std::nullopt;          // with a body or without one
  std::optional<QByteArray> body = std::nullopt;     // status 200 unless `status` says otherwise
  QList<QPair<QByteArray, QByteArray>> headers = {}; // set, replacing any of the same name
  QList<QByteArray> removedHeaders = {};
  // Seconds on the stand-in's scheduler before the reply is written.
  double delay = 0;
  // Keeps the reply until releaseHeld().
  bool hold = false;
  // Runs when the request arrives, before any reply is made, while the client waits.
  std::function<void(const LoggedRequest&)> onRequest = nullptr;
};

// A stand-in for the reading service over HTTPS on the loopback interface, on Qt HTTP Server:
// device-code sign-in, the reader's account, content releases and analytics, on an account
// model in memory. Tests run it in the same process as the client, on a virtual clock and
// scheduler; it also runs alone (tools/reading-service/main.cpp) on real time.
//
// Every request is logged before it is routed, so a test can prove that nothing was sent, or
// where a secret went. A reply that waits (a fault's delay or hold) is written later from the
// event loop, never by blocking: the client runs on the same thread. It is dropped when the
// client has gone meanwhile.
class ReadingService : public QObject {
  Q_OBJECT
public:
  using Handler = std::function<StandInReply(const LoggedRequest&)>;

  // On real time.
  explicit ReadingService(const TlsIdentity& identity, QObject* parent = nullptr);
  // On the clock and scheduler given; the scheduler must outlive the service.
  ReadingService(const TlsIdentity& identity, NowSource now, DelayScheduler& scheduler,
                 QObject* parent = nullptr);
  ~ReadingService() override;

  // Listens on 127.0.0.1 (any free port for 0) and returns the port; throws when it cannot.
  quint16 listen(quint16 port = 0);
  // "https://127.0.0.1:<port>": the address a client is configured with.
  QUrl baseURL() const;

  // Answers `method` on `pattern` in place of the stand-in's own route: a path without its
  // query, or one whose last segment is "{id}" for any single segment. A later route
  // replaces an earlier one; removeRoute() brings the stand-in's own answer back.
  void route(const QByteArray& method, const QString& pattern, Handler handler);
  // A fixed answer, for replies whose shape a test chooses.
  void setReply(const QByteArray& method, const QString& pattern, StandInReply reply);
  void removeRoute(const QByteArray& method, const QString& pattern);
  // The stand-in's own routes (see the route files); route() takes precedence.
  void serve(const QByteArray& method, const QString& pattern, Handler handler);
  using ServiceHandler = StandInReply (*)(ReadingService&, const LoggedRequest&);
  void serve(const QByteArray& method, const QString& pattern, ServiceHandler handler);
  // A route that needs an open session: 401 without one.
  using SessionHandler = StandInReply (*)(ReadingService&, const LoggedRequest&,
                                          const StandInAccounts::Session&);
  void serveSignedIn(const QByteArray& method, const QString& pattern, SessionHandler handler);

  // Faults of one route apply one after the other, in the order they were added.
  void addFault(const QByteArray& method, const QString& pattern, StandInFault fault);
  void clearFaults();

  // Replies kept by a fault's hold whose client still waits (one that has gone is not counted).
  int heldReplies() const;
  // Writes every held reply and returns how many reached a client still waiting.
  int releaseHeld();

  StandInAccounts& accounts() { return m_accounts; }
  DeviceGrants& grants() { return m_grants; }
  PublishedContent& content() { return m_content; }
  // Profile photos, served without a session at "/photos/<name>" as any image host serves
  // them; an unknown name is 404. Their address goes into a reader's `image`.
  void publishPhoto(const QString& name, QByteArray bytes, QByteArray contentType = "image/png");
  QUrl photoURL(const QString& name) const;
  std::optional<StandInReply> photo(const QString& name) const;
  // The analytics events accepted so far, oldest first.
  QList<QJsonObject>& analyticsEvents() { return m_analyticsEvents; }
  // The update feed and archive under "/updates/".
  StandInUpdates& updates() { return m_updates; }

  const QList<LoggedRequest>& requestLog() const { return m_log; }
  void clearRequestLog() { m_log.clear(); }
  // Where `secret` occurs in the logged requests: "POST /api/reader-auth/device/token body",
  // "GET /api/reader/me header authorization", "… query" or "… path"; one entry per place.
  QStringList placesOf(const QString& secret) const;

Q_SIGNALS:
  // A request arrived (it is in the log already); for the program's own log.
  void requestReceived(const brindlewick::LoggedRequest& request);

private:
  struct PendingReply;
  using RouteKey = std::pair<QByteArray, QString>;

  void receive(LoggedRequest request, QHttpServerResponder&& responder);
  StandInReply dispatch(const LoggedRequest& request);
  std::optional<StandInFault> takeFault(const LoggedRequest& request);
  void deliverLater(std::shared_ptr<PendingReply> pending, const StandInFault& fault);
  bool write(PendingReply& pending);

  QHttpServer* m_server;
  quint16 m_port = 0;
  DelayScheduler& m_scheduler;
  std::map<RouteKey, Handler> m_scripted;
  std::map<RouteKey, Handler> m_builtIn;
  std::map<RouteKey, std::deque<StandInFault>> m_faults;
  std::deque<std::shared_ptr<PendingReply>> m_held;
  std::set<DelayScheduler::TimerId> m_delayed;
  StandInAccounts m_accounts;
  DeviceGrants m_grants;
  PublishedContent m_content;
  QList<QJsonObject> m_analyticsEvents;
  StandInUpdates m_updates;
  std::map<QString, StandInReply> m_photos;
  QList<LoggedRequest> m_log;
};

} // namespace brindlewick
