// The reader's saves and loves: one confirmed change of one flag at a time, and the upload of
// the snapshots saved on this computer before it had an account.
#include "account/AccountController.h"

#include "foundation/Json.h"

#include <QJsonObject>
#include <QPointer>

namespace brindlewick {

namespace {

constexpr qint64 itemReplyLimit = 262144;

const QString savedFlagName = QStringLiteral("saved");
const QString lovedFlagName = QStringLiteral("loved");

} // namespace

QCoro::Task<> AccountController::setSaved(bool saved, DropSnapshot snapshot, CancellationToken cancellation) {
  co_await mutate(std::move(snapshot), savedFlagName, saved, std::move(cancellation));
}

QCoro::Task<> AccountController::setLoved(bool loved, DropSnapshot snapshot, CancellationToken cancellation) {
  co_await mutate(std::move(snapshot), lovedFlagName, loved, std::move(cancellation));
}

QCoro::Task<> AccountController::mutate(DropSnapshot snapshot, QString flag, bool value,
                                        CancellationToken cancellation) {
  const Operation operation(*this);
  // The id becomes a path segment as it stands: only the standard form may get there.
  const QString dropID = snapshot.lore.id;
  if (!AccountCoding::parseID(dropID))
    throw AccountError::invalidResponse();
  // A drop the account holds is changed at the account's revision, whatever the caller has.
  qint64 revision = snapshot.lore.revision;
  for (const AccountItem& item : std::as_const(m_items)) {
    if (item.loreId == dropID) {
      revision = item.snapshot.lore.revision;
      break;
    }
  }
  const QJsonObject body{{flag, value}, {QStringLiteral("revision"), revision}};
  AccountRequest request(QStringLiteral("PUT"), QStringLiteral("/api/reader/items/") + dropID,
                         Json::serialize(body), itemReplyLimit);
  const APIResponse reply =
      co_await sendAccountRequest(std::move(request), Bearer::heldSession(), operation.epoch, cancellation);
  if (!operation.controller)
    throw CancelledError();
  if (reply.statusCode != 200)
    throw AccountError::http(reply.statusCode);

  const Json::Tree tree(reply.body);
  AccountItem item = AccountItem::decode(tree.root(), Json::Path());
  AccountCoding::validate(item);
  const bool flagNow = flag == savedFlagName ? item.saved : item.loved;
  if (item.loreId != dropID || item.snapshot.lore.revision != revision || flagNow != value)
    throw AccountError::invalidResponse();
  if (!m_cache)
    throw AccountError::invalidResponse();

  Cache changed = *m_cache;
  changed.items.removeIf([&](const AccountItem& held) { return held.loreId == item.loreId; });
  if (item.saved || item.loved)
    changed.items.append(std::move(item));
  ReaderAccountMetrics& metrics = changed.me.metrics;
  metrics.savedCount = 0;
  metrics.lovedCount = 0;
  for (const AccountItem& held : std::as_const(changed.items)) {
    metrics.savedCount += held.saved ? 1 : 0;
    metrics.lovedCount += held.loved ? 1 : 0;
  }
  persist(changed);
  apply(std::move(changed));
}

QCoro::Task<> AccountController::importLegacySaved(QList<SavedSnapshot> snapshots,
                                                   CancellationToken cancellation) {
  const quint64 epoch = m_generation;
  const QPointer<AccountController> self(this);
  for (SavedSnapshot& saved : snapshots) {
    cancellation.throwIfCancelled();
    if (m_generation != epoch)
      throw AccountError::superseded();
    // Only a saved item counts: a drop the account holds as loved alone is saved now.
    if (isSaved(saved.snapshot.lore.id))
      continue;
    co_await mutate(std::move(saved.snapshot), savedFlagName, true, cancellation);
    if (!self)
      throw CancelledError();
  }
}

} // namespace brindlewick
