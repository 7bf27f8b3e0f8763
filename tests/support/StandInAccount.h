#pragma once

#include "AsyncProbe.h"
#include "StandInHarness.h"
#include "account/AccountController.h"

#include <QTemporaryDir>

#include <memory>
#include <ostream>

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
  // The same, after storing the credential of `token`, a session of `readerID`.
  std::unique_ptr<AccountController> open(const QString& token, const QString& readerID = reader);
  QString credentialKey() const { return AccountKeys::credentialKey(service.baseURL()); }
  // The stored account cache of the reader's session of `token`, if any.
  std::optional<QByteArray> cacheRecord(const QString& token, const QString& readerID = reader) const;
  // Requests the stand-in received on `path`, queries aside.
  qsizetype requestsTo(const QString& path) const;
  // Every device code and bearer token the stand-in was sent.
  QStringList secretsSent() const;

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
  QCoro::Task<bool> run(AccountController& controller, DelayScheduler& scheduler);

  // Parked between two polls, for this many seconds; only then may a test move the clock.
  std::optional<double> waiting;
  // Every wait so far.
  QList<double> waits;
};

// Runs a sign-in to its end, moving virtual time only while the driver waits between polls
// (so never past a transfer's deadline), and returns how it ended.
AsyncOutcome<bool> signIn(AccountController& controller, StandInHarness& harness, SignInDriver& driver);

// The text of a failure for comparing in tables: an error's own text, "cancelled",
// "undecodable" for a JSON decoding error; empty for none.
QString failureText(const std::exception_ptr& error);

} // namespace brindlewick

// Texts in failure messages as text, not as arrays of characters.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
