// Reading activity: one "read" event per reading, uploaded only while the account's synced
// preferences carry consent, never queued and never retried.
#include "account/AccountController.h"

#include "foundation/Json.h"

#include <QJsonObject>
#include <QPointer>

#include <array>

namespace brindlewick {

namespace {

using namespace Qt::StringLiterals;

constexpr qint64 activityReplyLimit = 65536;
// Readings older than 30 days are not reported.
constexpr double reportableSeconds = 2592000;

bool readsOK(const QByteArray& body) {
  static constexpr std::array keys{"ok"_L1};
  const Json::Tree tree(body);
  const Json::Path root;
  const Json::Members members(tree.root(), root, keys);
  return Json::readBool(members.required(0), members.path(0));
}

} // namespace

QCoro::Task<> AccountController::recordRead(DropSnapshot snapshot, QString id, Date at,
                                            CancellationToken cancellation) {
  const std::optional<QUuid> parsed = AccountCoding::parseID(id);
  if (!parsed)
    throw AccountError::invalidResponse();
  co_await recordRead(std::move(snapshot), *parsed, at, std::move(cancellation));
}

QCoro::Task<> AccountController::recordRead(DropSnapshot snapshot, QUuid id, Date at,
                                            CancellationToken cancellation) {
  const auto consented = [this] {
    return m_preferences && m_preferences->analyticsConsent && !m_activitySuppressed;
  };
  if (!consented())
    throw AccountError::consentRequired();
  if (!isSignedIn())
    throw AccountError::notSignedIn();
  const Date now = m_now();
  if (now < at || at < now.addingSeconds(-reportableSeconds))
    throw AccountError::invalidResponse();
  if (m_activities.contains(id) || m_activities.size() >= maximumActivities)
    throw AccountError::invalidResponse();

  const QJsonObject event{{u"id"_s, AccountCoding::wireID(id)},
                          {u"loreId"_s, snapshot.lore.id},
                          {u"revision"_s, snapshot.lore.revision},
                          {u"type"_s, u"read"_s},
                          {u"occurredAt"_s, AccountCoding::formatDate(at)}};
  AccountRequest request(u"POST"_s, u"/api/reader/activity"_s, Json::serialize(event), activityReplyLimit);

  const quint64 epoch = m_generation;
  const quint64 serial = ++m_activitySerial;
  // Cancelled by cancelActivities() and with the caller.
  CancellationSource upload(cancellation);
  const CancellationToken uploadToken = upload.token();
  m_activities.emplace(id, Activity{std::move(upload), serial});

  const QPointer<AccountController> self(this);
  std::exception_ptr failure;
  try {
    const APIResponse reply =
        co_await sendAccountRequest(std::move(request), Bearer::heldSession(), epoch, uploadToken);
    if (!self)
      throw CancelledError();
    cancellation.throwIfCancelled();
    if (m_generation != epoch)
      throw AccountError::superseded();
    // The reader may have withdrawn consent while the event travelled.
    if (!consented())
      throw AccountError::consentRequired();
    if (reply.statusCode != 200)
      throw AccountError::http(reply.statusCode);
    if (!readsOK(reply.body))
      throw AccountError::invalidResponse();
  } catch (...) {
    failure = std::current_exception();
  }
  // After a generation change (or cancelActivities()) the entry is gone already; one under the
  // same id now belongs to a later upload.
  if (self && m_generation == epoch) {
    const auto entry = m_activities.find(id);
    if (entry != m_activities.end() && entry->second.serial == serial)
      m_activities.erase(entry);
  }
  if (failure)
    std::rethrow_exception(failure);
}

} // namespace brindlewick
