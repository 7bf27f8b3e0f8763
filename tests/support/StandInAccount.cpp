#include "StandInAccount.h"

#include "AccountFixtures.h"
#include "foundation/Json.h"

#include <algorithm>

namespace brindlewick {

StandInAccount::StandInAccount(SecureStorage& secureStorage)
    : storage(secureStorage),
      store(std::make_unique<LocalStore>(false, folder.filePath(QStringLiteral("Brindlewick.store")))) {
  service.accounts().addReader({reader, QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
  service.grants().setBrowserReader(reader);
}

std::unique_ptr<AccountController> StandInAccount::open() {
  const AccountController::Services services{*client,
                                             storage,
                                             *store,
                                             service.baseURL(),
                                             harness.clock(),
                                             QStringLiteral("1.0.0"),
                                             harness.scheduler()};
  const auto outcome = startTask(AccountController::open(services));
  waitUntilFinished(outcome);
  return std::move(outcome->result());
}

std::unique_ptr<AccountController> StandInAccount::open(const QString& token, const QString& readerID) {
  finishTask(storage.write(AccountFixtures::credential(token, readerID), credentialKey())).get();
  return open();
}

std::optional<QByteArray> StandInAccount::cacheRecord(const QString& token, const QString& readerID) const {
  return store->data(AccountKeys::cacheKey(service.baseURL(), readerID, AccountCoding::digest(token)));
}

qsizetype StandInAccount::requestsTo(const QString& path) const {
  return std::count_if(service.requestLog().begin(), service.requestLog().end(),
                       [&](const LoggedRequest& request) { return request.path == path; });
}

QStringList StandInAccount::secretsSent() const {
  QStringList secrets;
  for (const LoggedRequest& request : service.requestLog()) {
    if (request.path == QLatin1String("/api/reader-auth/device/token"))
      secrets << Json::parseObject(request.body).value(QLatin1String("device_code")).toString();
    if (const auto token = request.bearerToken())
      secrets << *token;
  }
  return secrets;
}

QCoro::Task<bool> SignInDriver::run(AccountController& controller, DelayScheduler& scheduler) {
  co_await controller.beginSignIn();
  bool signedIn = co_await controller.pollSignIn();
  while (!signedIn) {
    if (!controller.pendingDeviceCode())
      throw AccountError::deviceExpired();
    waits.append(controller.pendingDeviceCode()->interval);
    waiting = waits.last();
    co_await delay(scheduler, waits.last(), {});
    signedIn = co_await controller.pollSignIn();
  }
  co_return true;
}

AsyncOutcome<bool> signIn(AccountController& controller, StandInHarness& harness, SignInDriver& driver) {
  const auto outcome = startTask(driver.run(controller, harness.scheduler()));
  while (waitUntil([&] { return outcome->finished || driver.waiting; }) && !outcome->finished)
    harness.advance(*std::exchange(driver.waiting, std::nullopt));
  return *outcome;
}

QString failureText(const std::exception_ptr& error) {
  if (!error)
    return {};
  try {
    std::rethrow_exception(error);
  } catch (const CancelledError&) {
    return QStringLiteral("cancelled");
  } catch (const JsonDecodingError&) {
    return QStringLiteral("undecodable");
  } catch (const std::exception& other) {
    return QString::fromUtf8(other.what());
  }
}

} // namespace brindlewick
