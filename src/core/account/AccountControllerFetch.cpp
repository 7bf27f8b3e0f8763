// Reading the whole account of one session token: the summary, every page of items and the
// synced preferences, all of it treated as untrusted. The single reading path behind browser
// sign-in and refresh.
#include "account/AccountController.h"

#include <QPointer>
#include <QSet>

namespace brindlewick {

namespace {

constexpr qint64 summaryLimit = 65536;
constexpr qint64 preferencesLimit = 65536;
constexpr qint64 pageLimit = 2097152;
// All pages together; as much as the cache record may hold.
constexpr qint64 allPagesLimit = 20971520;
constexpr qsizetype maximumPageItems = 200;
constexpr int maximumPages = 100;
constexpr qsizetype maximumCursorBytes = 2048;

const QString itemsPath = QStringLiteral("/api/reader/items");

// Any status but 200 left after the gate.
void expectOK(const APIResponse& response) {
  if (response.statusCode != 200)
    throw AccountError::http(response.statusCode);
}

} // namespace

QCoro::Task<AccountController::Cache> AccountController::fetchAccount(QString token,
                                                                      std::optional<QString> expectedID,
                                                                      quint64 epoch,
                                                                      CancellationToken cancellation) {
  const QPointer<AccountController> self(this);
  // A refresh speaks for the held session, whose rejection revokes it; a sign-in's new token
  // only fails.
  const Bearer bearer = Bearer::of(token, expectedID.has_value());

  const APIResponse summaryReply = co_await sendAccountRequest(
      {QStringLiteral("GET"), QStringLiteral("/api/reader/me"), std::nullopt, summaryLimit}, bearer, epoch,
      cancellation);
  if (!self)
    throw CancelledError();
  expectOK(summaryReply);
  const Me me = Me::fromJson(summaryReply.body);
  AccountCoding::validateSummary(me, m_now());
  if (expectedID) {
    if (me.user.id != *expectedID)
      throw AccountError::invalidResponse();
    // The service has just confirmed the session: the reader sees the renewed summary even if
    // a later page fails.
    if (m_cache) {
      Cache renewed = *m_cache;
      renewed.me = me;
      renewed.confirmedAt = m_now();
      renewed.accessRevoked = false;
      persist(renewed);
      apply(std::move(renewed));
    }
  }

  QList<AccountItem> items = co_await fetchItems(bearer, epoch, cancellation);
  if (!self)
    throw CancelledError();

  const APIResponse preferencesReply = co_await sendAccountRequest(
      {QStringLiteral("GET"), QStringLiteral("/api/reader/preferences"), std::nullopt, preferencesLimit},
      bearer, epoch, cancellation);
  if (!self)
    throw CancelledError();
  expectOK(preferencesReply);
  PreferencesResponse settings = PreferencesResponse::fromJson(preferencesReply.body);
  if (settings.version < 0)
    throw AccountError::invalidResponse();
  AccountCoding::validate(settings.preferences);

  // The session may have run out while the account was read.
  if (!(m_now() < me.sessionExpiresAt))
    throw AccountError::notSignedIn();
  co_return Cache{AccountCoding::digest(token), me, std::move(items), std::move(settings), m_now(), false};
}

QCoro::Task<QList<AccountItem>> AccountController::fetchItems(Bearer bearer, quint64 epoch,
                                                              CancellationToken cancellation) {
  const QPointer<AccountController> self(this);
  QList<AccountItem> items;
  QSet<QString> ids;
  QSet<QString> cursors;
  int furtherPages = 0;
  qint64 totalBytes = 0;
  QString path = itemsPath;
  // Texts of an earlier fetch that no persist took are of no use any more.
  m_receivedItems.clear();
  while (true) {
    const APIResponse reply = co_await sendAccountRequest(
        {QStringLiteral("GET"), path, std::nullopt, pageLimit}, bearer, epoch, cancellation);
    if (!self)
      throw CancelledError();
    expectOK(reply);
    totalBytes += reply.body.size();
    if (totalBytes > allPagesLimit)
      throw AccountError::invalidResponse();
    Page page = Page::fromJson(reply.body);
    if (page.items.size() > maximumPageItems ||
        items.size() + page.items.size() > AccountCoding::maximumItems)
      throw AccountError::invalidResponse();
    for (qsizetype i = 0; i < page.items.size(); ++i) {
      const AccountItem& item = page.items[i];
      AccountCoding::validate(item);
      if (!item.saved && !item.loved)
        throw AccountError::invalidResponse();
      const qsizetype known = ids.size();
      ids.insert(item.loreId);
      if (ids.size() == known)
        throw AccountError::invalidResponse();
      items.append(item);
      if (i < page.texts.size() && !page.texts[i].isEmpty())
        m_receivedItems.insert(item.loreId, {item, page.texts[i]});
    }
    if (!page.nextCursor)
      co_return items;

    // An empty cursor is an error, not the end; a repeated one would page forever.
    const QString& cursor = *page.nextCursor;
    const qsizetype cursorBytes = AccountCoding::utf8Length(cursor);
    if (cursorBytes < 1 || cursorBytes > maximumCursorBytes || cursors.contains(cursor))
      throw AccountError::invalidResponse();
    cursors.insert(cursor);
    if (furtherPages == maximumPages - 1)
      throw AccountError::invalidResponse();
    ++furtherPages;
    // Every byte outside the unreserved set encoded: a "+", "&" or "=" in the cursor must
    // reach the service as itself, not as a space or a new query item.
    path = itemsPath + QStringLiteral("?cursor=") + QString::fromLatin1(QUrl::toPercentEncoding(cursor));
  }
}

} // namespace brindlewick
