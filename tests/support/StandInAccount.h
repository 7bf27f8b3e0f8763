#pragma once

#include "AsyncProbe.h"
#include "StandInHarness.h"
#include "account/AccountController.h"

#include <QTemporaryDir>

#include <ostream>

#include <functional>
#include <memory>

namespace brindlewick {

// One reader ("r1") at the stand-in service, and this computer's side of the account: a client
// that trusts the stand-in, a store file, and controllers opened over the storage given, all on
// the stand-in's virtual clock.
class StandInAccount {
public:
  static inline const QString reader = QStringLiteral("r1");

  explicit StandInAccount(SecureStorage& storage);

  // A controller as at start-up: the credential read from the storage, the cache from the store.
  std::unique_ptr<AccountController> open();
  QString credentialKey() const { return AccountKeys::credentialKey(service.baseURL()); }
  // The stored account cache of the reader's session of `token`, if any.
  std::optional<QByteArray> cacheRecord(const QString& token, const QString& readerID = reader) const;
  // The token of the request log's first request with a bearer, and the device code of its
  // first token request: the secrets that went out.
  std::optional<QString> tokenSent() const;
  std::optional<QString> deviceCodeSent() const;

  StandInHarness harness;
  ReadingService& service = harness.service();
  std::unique_ptr<NativeAPIClient> client = harness.makeClient();
  SecureStorage& storage;
  QTemporaryDir folder;
  std::unique_ptr<LocalStore> store;
};

// Signs in as the application does: begins, polls at once, then waits the grant's current
// interval on the scheduler and polls again, until a poll answers true or throws.
class SignInDriver {
public:
  QCoro::Task<bool> run(AccountController& controller, DelayScheduler& scheduler,
                        CancellationToken cancellation = {});

  // Parked between two polls, for this many seconds; only then may a test move the clock.
  std::optional<double> waiting;
  // Every wait so far.
  QList<double> waits;
};

// Runs a sign-in to its end, moving virtual time only while the driver waits between polls
// (so never past a transfer's deadline), and returns how it ended. `whileWaiting` runs each
// time the driver has parked, before the clock moves.
AsyncOutcome<bool> signIn(AccountController& controller, StandInHarness& harness, SignInDriver& driver,
                          const std::function<void()>& whileWaiting = nullptr);

// The text of a failure for comparing in tables: an error's own text, "cancelled",
// "undecodable" for a JSON decoding error; empty for none.
QString failureText(const std::exception_ptr& error);

} // namespace brindlewick

// Texts in failure messages as text, not as arrays of characters.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
