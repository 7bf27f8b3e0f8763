#include "desktop/KeychainStorage.h"

#include "AsyncProbe.h"
#include "VirtualDelayScheduler.h"

#include <QPointer>

#include <qt6keychain/keychain.h>

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

// How a keyring's collection answers whether it is locked; a silent one never answers.
enum class Collection { open, locked, cannotTell, silent };

// A keyring that answers only when the test says so, with its timeout on virtual time.
struct ScriptedKeyring {
  VirtualDelayScheduler scheduler;
  QList<QPointer<QKeychain::Job>> jobs;
  Collection collection = Collection::open;
  std::unique_ptr<KeychainStorage> storage = std::make_unique<KeychainStorage>(
      QStringLiteral("app.brindlewick.credentials"), 7.0, &scheduler,
      [this](QKeychain::Job& job) { jobs.append(&job); },
      [this](const std::function<void(std::optional<bool>)>& answer) {
        if (collection != Collection::silent)
          answer(collection == Collection::cannotTell ? std::nullopt
                                                      : std::optional(collection == Collection::locked));
      });
};

// Queued answers and deferred deletions both wait for the event loop.
void serveEvents() {
  flushEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void answer(QKeychain::Job& job, QKeychain::Error error, const QString& text = QStringLiteral("scripted")) {
  if (error == QKeychain::NoError)
    job.emitFinished();
  else
    job.emitFinishedWithError(error, text);
  serveEvents();
}

// What the reader is told for QtKeychain's answers (their texts as a real session bus gave
// them): the cause and the way out, never a bare status, and always that nothing was discarded.
TEST(KeychainStorage, EachFailureNamesItsCauseAndTheWayOut) {
  const QString noService =
      u"Secure storage is unavailable: no keyring service (Secret Service) answers on the session bus. "
      "Install and start gnome-keyring or KWallet, log in again, then start Brindlewick again. "
      "No credentials were discarded."_s;
  const auto noSessionBus = [](const QString& at) {
    return u"Secure storage is unavailable: the session bus%1 cannot be reached, so no keyring can answer. "
           "Start Brindlewick from your desktop's own session, or from a new terminal in it. No credentials "
           "were discarded."_s.arg(at);
  };
  const QString noAnswer =
      u"Secure storage is unavailable: the system keyring is locked or did not answer. Unlock it (your login "
      "password usually opens it), then try again. No credentials were discarded."_s;
  const QString staleAddress = u"unix:path=/run/user/1000/bus,guid=0f3a9c2e51d84b7a"_s;
  const struct {
    QKeychain::Error answer;
    const char* text;
    QString message;
    // The session's DBUS_SESSION_BUS_ADDRESS; none when empty.
    QString busAddress = {};
  } rows[] = {
      {QKeychain::OtherError, "The name org.freedesktop.secrets was not provided by any .service files",
       noService},
      {QKeychain::NoBackendAvailable, "No keychain service available", noService},
      // A bus address left from an earlier session: its socket is gone, or nobody listens on it.
      {QKeychain::OtherError, "Could not connect: No such file or directory",
       noSessionBus(u" at unix:path=/run/user/1000/bus"_s), staleAddress},
      {QKeychain::OtherError, "Could not connect: Connection refused",
       noSessionBus(u" at unix:abstract=/tmp/dbus-Xk2m"_s), u"unix:abstract=/tmp/dbus-Xk2m,guid=77ab"_s},
      {QKeychain::OtherError, "Cannot autolaunch D-Bus without X11 $DISPLAY", noSessionBus({})},
      // A keyring that holds the Secret Service's name and answers nothing, in GLib's words and
      // in QtDBus's.
      {QKeychain::OtherError, "Timeout was reached", noAnswer},
      {QKeychain::OtherError,
       "Did not receive a reply. Possible causes include: the remote application did not send a reply, the "
       "message bus security policy blocked the reply, the reply timeout expired, or the network connection "
       "was broken.",
       noAnswer},
      {QKeychain::AccessDenied, "Cannot create an item in a locked collection",
       u"Secure storage is unavailable: the system keyring is locked. Unlock it (your login password usually "
       "opens it), then try again. No credentials were discarded."_s},
      {QKeychain::OtherError, "Address element “garbage” does not contain a colon (:)",
       u"Secure storage is unavailable: the system keyring reported an error: Address element “garbage” does "
       "not contain a colon (:). No credentials were discarded."_s},
      {QKeychain::CouldNotDeleteEntry, "",
       u"Secure storage is unavailable: the system keyring reported an error. No credentials were discarded."_s},
  };
  const std::optional<QByteArray> sessionAddress = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")
                                                       ? std::optional(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
                                                       : std::nullopt;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    if (row.busAddress.isEmpty())
      qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
      qputenv("DBUS_SESSION_BUS_ADDRESS", row.busAddress.toUtf8());
    ScriptedKeyring keyring;
    const auto outcome = startTask(keyring.storage->remove(QStringLiteral("a")));
    answer(*keyring.jobs.at(0), row.answer, QString::fromUtf8(row.text));
    EXPECT_EQ(outcome->errorAs<KeychainError>().value().description().toStdString(),
              row.message.toStdString());
  }
  if (sessionAddress)
    qputenv("DBUS_SESSION_BUS_ADDRESS", *sessionAddress);
  else
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  // A status of another keyring library, with nothing else known.
  EXPECT_EQ(KeychainError(-25300).description(), std::end(rows)[-1].message);
}

// Each operation is one keyring request for one item of the service, without the insecure
// fallback; how each answer ends it; a failure is never retried or followed by another request.
// A locked collection whose unlock was refused answers "not found" to a read and success to a
// removal, the item untouched: with the collection locked these fail as a locked keyring, while
// a collection that cannot tell or does not answer in time leaves the keyring's answer as it was.
TEST(KeychainStorage, EachAnswerEndsTheOperationWithOneRequest) {
  enum Operation { read, write, remove };
  using enum Collection;
  struct Case {
    Operation operation;
    QKeychain::Error answer;
    bool fails;
    Collection collection = open;
  };
  const std::vector<Case> cases = {
      {read, QKeychain::NoError, false},
      {read, QKeychain::EntryNotFound, false},
      {read, QKeychain::NoBackendAvailable, true},
      {write, QKeychain::NoError, false},
      {write, QKeychain::EntryNotFound, true},
      {remove, QKeychain::NoError, false},
      {remove, QKeychain::EntryNotFound, false},
      {remove, QKeychain::CouldNotDeleteEntry, true},
      {read, QKeychain::EntryNotFound, true, locked},
      {remove, QKeychain::NoError, true, locked},
      {remove, QKeychain::EntryNotFound, true, locked},
      {read, QKeychain::EntryNotFound, false, cannotTell},
      {read, QKeychain::EntryNotFound, false, silent},
      {remove, QKeychain::NoError, false, silent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "operation " << c.operation << ", answer " << c.answer
                                    << ", collection " << int(c.collection));
    ScriptedKeyring keyring;
    keyring.collection = c.collection;
    const QString account = QStringLiteral("reader.session.v1.x");
    std::shared_ptr<AsyncOutcome<std::optional<QByteArray>>> readOutcome;
    std::shared_ptr<AsyncOutcome<void>> outcome;
    if (c.operation == read)
      readOutcome = startTask(keyring.storage->read(account));
    else if (c.operation == write)
      outcome = startTask(keyring.storage->write(QByteArrayLiteral("secret"), account));
    else
      outcome = startTask(keyring.storage->remove(account));
    ASSERT_EQ(keyring.jobs.size(), 1);
    QKeychain::Job& job = *keyring.jobs.at(0);
    EXPECT_EQ(job.service(), QStringLiteral("app.brindlewick.credentials"));
    EXPECT_EQ(job.key(), account);
    EXPECT_FALSE(job.insecureFallback());

    answer(job, c.answer);
    if (c.collection == silent) {
      keyring.scheduler.advance(7.0);
      serveEvents();
    }
    ASSERT_TRUE(readOutcome ? readOutcome->finished : outcome->finished);
    const auto error =
        readOutcome ? readOutcome->errorAs<KeychainError>() : outcome->errorAs<KeychainError>();
    EXPECT_EQ(error ? std::optional(error->status()) : std::nullopt,
              c.fails ? std::optional(qint32(c.collection == locked ? QKeychain::AccessDenied : c.answer))
                      : std::nullopt);
    if (error && c.collection == locked) {
      EXPECT_EQ(error->cause(), KeychainError::Cause::locked);
    }
    if (readOutcome && !c.fails) {
      EXPECT_EQ(readOutcome->result().has_value(), c.answer == QKeychain::NoError);
    }
    EXPECT_TRUE(keyring.jobs.at(0).isNull()) << "the answered job is freed";
    EXPECT_EQ(keyring.scheduler.pendingCount(), 0u) << "the timeout is disarmed";
    EXPECT_EQ(keyring.jobs.size(), 1);
  }
}

TEST(KeychainStorage, AKeyringThatNeverAnswersFailsAtTheTimeoutAndALateAnswerIsHarmless) {
  ScriptedKeyring keyring;
  const auto outcome = startTask(keyring.storage->write(QByteArrayLiteral("secret"), QStringLiteral("a")));
  ASSERT_EQ(keyring.jobs.size(), 1);
  const QPointer<QKeychain::Job> job = keyring.jobs.at(0);
  keyring.scheduler.advance(6.9);
  EXPECT_FALSE(outcome->finished);
  keyring.scheduler.advance(0.1);
  ASSERT_TRUE(outcome->finished);
  EXPECT_EQ(outcome->errorAs<KeychainError>()->status(), KeychainError::noAnswerStatus);
  EXPECT_EQ(outcome->errorAs<KeychainError>()->description(),
            u"Secure storage is unavailable: the system keyring is locked or did not answer. Unlock it (your "
            "login password usually opens it), then try again. No credentials were discarded."_s);
  serveEvents();
  ASSERT_FALSE(job.isNull()) << "the keyring still holds the job";

  job->emitFinishedWithError(QKeychain::OtherError, QStringLiteral("late"));
  serveEvents();
  EXPECT_TRUE(job.isNull());
  EXPECT_EQ(outcome->errorAs<KeychainError>()->status(), KeychainError::noAnswerStatus);
}

// Success answered late by a locked collection is no removal: the item is where it was. A
// collection that cannot tell counts as open, as it does for an answer in time.
TEST(KeychainStorage, ALateRemovalCountsOnlyWhereTheCollectionIsOpen) {
  for (const Collection collection : {Collection::open, Collection::locked, Collection::cannotTell}) {
    SCOPED_TRACE(int(collection));
    ScriptedKeyring keyring;
    keyring.collection = collection;
    const auto outcome = startTask(keyring.storage->remove(QStringLiteral("a")));
    keyring.scheduler.advance(7.0);
    serveEvents();
    const std::optional<LateAnswer> late = outcome->errorAs<KeychainError>().value().lateAnswer();
    ASSERT_TRUE(late);
    std::optional<bool> carriedOut;
    QObject context;
    late->then(&context, [&](bool removed) { carriedOut = removed; });
    answer(*keyring.jobs.at(0), QKeychain::NoError);
    EXPECT_EQ(carriedOut, collection != Collection::locked);
  }
}

TEST(KeychainStorage, ConcurrentRequestsEachGetTheirOwnAnswerAndOutliveTheStore) {
  ScriptedKeyring keyring;
  const auto first = startTask(keyring.storage->read(QStringLiteral("one")));
  const auto second = startTask(keyring.storage->remove(QStringLiteral("two")));
  ASSERT_EQ(keyring.jobs.size(), 2);
  keyring.storage.reset();
  answer(*keyring.jobs.at(1), QKeychain::AccessDenied);
  EXPECT_FALSE(first->finished);
  EXPECT_EQ(second->errorAs<KeychainError>()->status(), QKeychain::AccessDenied);
  answer(*keyring.jobs.at(0), QKeychain::EntryNotFound);
  ASSERT_TRUE(first->finished);
  EXPECT_EQ(first->value, std::make_optional(std::optional<QByteArray>()));
}

} // namespace
