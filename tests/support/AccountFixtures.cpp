#include "AccountFixtures.h"

#include "ReleaseGenerator.h"

namespace brindlewick::AccountFixtures {

DropSnapshot snapshot(qint64 index, qsizetype padding) {
  static const GeneratedRelease release = generateRelease(1);
  DropSnapshot result(release.release.lore.first(), release.release);
  result.lore.id = generatedId(3, index);
  result.lore.longExplanation += QString(padding, QLatin1Char('x'));
  return result;
}

AccountItem savedItem(qint64 index, Date savedAt, qsizetype padding) {
  DropSnapshot itemSnapshot = snapshot(index, padding);
  QString loreId = itemSnapshot.lore.id;
  return AccountItem{std::move(loreId), std::move(itemSnapshot), true, false, savedAt, std::nullopt, savedAt};
}

AccountCache cache(Date confirmedAt, int items, const QString& sessionToken, qsizetype padding) {
  AccountCache result;
  result.sessionID = AccountCoding::digest(sessionToken);
  result.me = AccountSummary{
      ReaderAccountUser{userID, QStringLiteral("Ada"), QStringLiteral("ada@example.com"), std::nullopt},
      confirmedAt.addingSeconds(86400), ReaderAccountMetrics{items, 0, 3}};
  for (int i = 0; i < items; ++i)
    result.items.append(savedItem(i, confirmedAt.addingSeconds(-60.0 * i), padding));
  result.settings.version = 1;
  result.confirmedAt = confirmedAt;
  return result;
}

QByteArray credential(const QString& credentialToken, const QString& user, bool revoked) {
  return SessionCredential{credentialToken, user, revoked}.toJson();
}

} // namespace brindlewick::AccountFixtures
