#include "StandInAccount.h"

#include "foundation/Json.h"

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
  if (outcome->error)
    std::rethrow_exception(outcome->error);
  return std::move(*outcome->value);
}

std::optional<QByteArray> StandInAccount::cacheRecord(const QString& token, const QString& readerID) const {
  return store->data(AccountKeys::cacheKey(service.baseURL(), readerID, AccountCoding::digest(token)));
}

std::optional<QString> StandInAccount::tokenSent() const {
  for (const LoggedRequest& request : service.requestLog()) {
    if (const auto token = request.bearerToken())
      return token;
  }
  return std::nullopt;
}

std::optional<QString> StandInAccount::deviceCodeSent() const {
  for (const LoggedRequest& request : service.requestLog()) {
    if (request.path == QLatin1String("/api/reader-auth/device/token"))
      return Json::parseObject(request.body).value(QLatin1String("device_code")).toString();
  }
  return std::nullopt;
}

QCoro::Task<bool> SignInDriver::run(AccountController& controller, DelayScheduler& scheduler,
                                    CancellationToken cancellation) {
  co_await controller.beginSignIn(cancellation);
  bool signedIn = co_await controller.pollSignIn(cancellation);
  while (!signedIn) {
    if (!controller.pendingDeviceCode())
      throw AccountError::deviceExpired();
    waiting = controller.pendingDeviceCode()->interval;
    waits.append(*waiting);
    co_await delay(scheduler, *waiting, cancellation);
    waiting.reset();
    signedIn = co_await controller.pollSignIn(cancellation);
  }
  co_return true;
}

AsyncOutcome<bool> signIn(AccountController& controller, StandInHarness& harness, SignInDriver& driver,
                          const std::function<void()>& whileWaiting) {
  const auto outcome = startTask(driver.run(controller, harness.scheduler()));
  while (waitUntil([&] { return outcome->finished || driver.waiting; }) && !outcome->finished) {
    if (whileWaiting)
      whileWaiting();
    harness.advance(*std::exchange(driver.waiting, std::nullopt));
  }
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
