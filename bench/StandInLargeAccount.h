#pragma once

#include "AccountFixtures.h"
#include "InMemorySecureStorage.h"
#include "StandInAccount.h"
#include "account/AccountController.h"
#include "foundation/Json.h"

#include <algorithm>
#include <memory>

namespace brindlewick {

// A signed-in reader whose account at the stand-in holds `itemCount` saved items padded to
// about `totalBytes` in all, and a controller opened on it (nothing fetched yet). Made once
// per benchmark program and never destroyed, so its teardown stays out of every figure.
struct StandInLargeAccount {
  static constexpr int itemCount = 10000;

  InMemorySecureStorage storage;
  StandInAccount account{storage};
  QString token;
  std::unique_ptr<AccountController> controller;

  StandInLargeAccount(qint64 totalBytes, bool loved) {
    const Date at = account.harness.now();
    const qsizetype natural = Json::serialize(AccountFixtures::savedItem(0, at).encode()).size() + 1;
    const qsizetype padding = std::max<qsizetype>(0, totalBytes / itemCount - natural);
    for (int i = 0; i < itemCount; ++i) {
      const AccountItem item = AccountFixtures::savedItem(i, at, padding);
      account.service.accounts().putItem(
          StandInAccount::reader, {item.snapshot, true, loved, item.savedAt,
                                   loved ? std::optional<Date>(item.savedAt) : std::nullopt, item.updatedAt});
    }
    token = account.service.accounts().openSession(StandInAccount::reader);
    storage.setItem(account.credentialKey(), AccountFixtures::credential(token, StandInAccount::reader));
    controller = account.open();
  }
};

} // namespace brindlewick
