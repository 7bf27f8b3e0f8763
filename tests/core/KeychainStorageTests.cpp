#include "KeychainStorage.h"

#include "AsyncProbe.h"

#include <QCoreApplication>
#include <QPointer>

#include <qt6keychain/keychain.h>

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace std::chrono_literals;

namespace {

// A keyring that answers only when the test says so, and a deadline the test fires by hand.
class ScriptedKeyring {
public:
  KeychainStorage storage{QStringLiteral("app.brindlewick.credentials"), 7s,
                          [this](QKeychain::Job& job) { jobs.append(&job); },
                          [this](std::chrono::milliseconds timeout, std::function<void()> expired) {
                            timeouts.push_back(timeout);
                            deadlines.push_back(std::move(expired));
                          }};
  QList<QPointer<QKeychain::Job>> jobs;
  std::vector<std::chrono::milliseconds> timeouts;
  std::vector<std::function<void()>> deadlines;

  QKeychain::Job& onlyJob() {
    EXPECT_EQ(jobs.size(), 1);
    return *jobs.at(0);
  }
};

// Queued answers and deferred deletions both wait for the event loop.
void serveEvents() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void answer(QKeychain::Job& job, QKeychain::Error error) {
  if (error == QKeychain::NoError)
    job.emitFinished();
  else
    job.emitFinishedWithError(error, QStringLiteral("scripted"));
  serveEvents();
}

TEST(KeychainError, MessageNamesTheStatusAndPromisesNothingWasDiscarded) {
  EXPECT_STREQ(KeychainError(0).what(),
               "Secure storage is unavailable (system keyring status 0). No credentials were discarded.");
  EXPECT_STREQ(
      KeychainError(-25300).what(),
      "Secure storage is unavailable (system keyring status -25300). No credentials were discarded.");
  EXPECT_EQ(KeychainError(5).description(),
            QStringLiteral(
                "Secure storage is unavailable (system keyring status 5). No credentials were discarded."));
}

TEST(KeychainStorage, TouchesNothingAtConstructionAndAsksForOneItemOfItsService) {
  ScriptedKeyring keyring;
  EXPECT_TRUE(keyring.jobs.isEmpty());
  EXPECT_EQ(keyring.storage.service(), QStringLiteral("app.brindlewick.credentials"));

  const auto outcome = startTask(keyring.storage.read(QStringLiteral("reader.session.v1.abc")));
  QKeychain::Job& job = keyring.onlyJob();
  EXPECT_NE(qobject_cast<QKeychain::ReadPasswordJob*>(&job), nullptr);
  EXPECT_EQ(job.service(), QStringLiteral("app.brindlewick.credentials"));
  EXPECT_EQ(job.key(), QStringLiteral("reader.session.v1.abc"));
  EXPECT_FALSE(job.insecureFallback());
  EXPECT_EQ(keyring.timeouts, std::vector{std::chrono::milliseconds(7s)});
  EXPECT_FALSE(outcome->finished);

  answer(job, QKeychain::NoError);
  ASSERT_TRUE(outcome->finished);
  EXPECT_EQ(outcome->value, std::make_optional(std::make_optional(QByteArray())));
}

// How each keyring answer ends each operation. Every operation is one keyring request: a
// failure is never retried and never followed by a deletion or a second write.
struct AnswerCase {
  const char* name;
  enum Operation { read, write, remove } operation;
  QKeychain::Error answer;
  std::optional<qint32> failure; // none: the operation succeeds
};

class KeyringAnswers : public testing::TestWithParam<AnswerCase> {};

TEST_P(KeyringAnswers, EndTheOperationWithOneRequest) {
  const AnswerCase& c = GetParam();
  ScriptedKeyring keyring;
  const QString account = QStringLiteral("reader.session.v1.x");
  std::shared_ptr<AsyncOutcome<void>> done;
  std::shared_ptr<AsyncOutcome<std::optional<QByteArray>>> readDone;
  switch (c.operation) {
  case AnswerCase::read: readDone = startTask(keyring.storage.read(account)); break;
  case AnswerCase::write:
    done = startTask(keyring.storage.write(QByteArrayLiteral("secret"), account));
    break;
  case AnswerCase::remove: done = startTask(keyring.storage.remove(account)); break;
  }
  QKeychain::Job& job = keyring.onlyJob();
  EXPECT_EQ(job.key(), account);
  switch (c.operation) {
  case AnswerCase::read: EXPECT_NE(qobject_cast<QKeychain::ReadPasswordJob*>(&job), nullptr); break;
  case AnswerCase::write: EXPECT_NE(qobject_cast<QKeychain::WritePasswordJob*>(&job), nullptr); break;
  case AnswerCase::remove: EXPECT_NE(qobject_cast<QKeychain::DeletePasswordJob*>(&job), nullptr); break;
  }
  const QPointer<QKeychain::Job> watched(&job);
  answer(job, c.answer);

  const bool finished = readDone ? readDone->finished : done->finished;
  const std::optional<KeychainError> error =
      readDone ? readDone->errorAs<KeychainError>() : done->errorAs<KeychainError>();
  ASSERT_TRUE(finished);
  if (c.failure) {
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->status(), *c.failure);
  } else {
    EXPECT_FALSE(error.has_value()) << error->what();
  }
  if (readDone && c.answer == QKeychain::EntryNotFound) {
    EXPECT_EQ(readDone->value, std::make_optional(std::optional<QByteArray>()));
  }
  EXPECT_EQ(keyring.jobs.size(), 1) << "no second request after the answer";
  EXPECT_TRUE(watched.isNull()) << "the answered job is freed";

  // The deadline passing afterwards changes nothing.
  keyring.deadlines.at(0)();
  serveEvents();
  EXPECT_EQ(keyring.jobs.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Keychain, KeyringAnswers,
    testing::Values(AnswerCase{"ReadMissing", AnswerCase::read, QKeychain::EntryNotFound, std::nullopt},
                    AnswerCase{"ReadDenied", AnswerCase::read, QKeychain::AccessDenied,
                               QKeychain::AccessDenied},
                    AnswerCase{"ReadNoBackend", AnswerCase::read, QKeychain::NoBackendAvailable,
                               QKeychain::NoBackendAvailable},
                    AnswerCase{"ReadOther", AnswerCase::read, QKeychain::OtherError, QKeychain::OtherError},
                    AnswerCase{"WriteStored", AnswerCase::write, QKeychain::NoError, std::nullopt},
                    AnswerCase{"WriteDeniedByUser", AnswerCase::write, QKeychain::AccessDeniedByUser,
                               QKeychain::AccessDeniedByUser},
                    AnswerCase{"WriteAnsweredNotFound", AnswerCase::write, QKeychain::EntryNotFound,
                               QKeychain::EntryNotFound},
                    AnswerCase{"WriteOther", AnswerCase::write, QKeychain::OtherError, QKeychain::OtherError},
                    AnswerCase{"RemoveDone", AnswerCase::remove, QKeychain::NoError, std::nullopt},
                    AnswerCase{"RemoveMissing", AnswerCase::remove, QKeychain::EntryNotFound, std::nullopt},
                    AnswerCase{"RemoveRefused", AnswerCase::remove, QKeychain::CouldNotDeleteEntry,
                               QKeychain::CouldNotDeleteEntry},
                    AnswerCase{"RemoveNoBackend", AnswerCase::remove, QKeychain::NoBackendAvailable,
                               QKeychain::NoBackendAvailable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeychainStorage, AKeyringThatNeverAnswersFailsAtTheDeadlineAndALateAnswerIsHarmless) {
  ScriptedKeyring keyring;
  const auto outcome = startTask(keyring.storage.write(QByteArrayLiteral("secret"), QStringLiteral("a")));
  const QPointer<QKeychain::Job> job(&keyring.onlyJob());
  serveEvents();
  EXPECT_FALSE(outcome->finished);

  keyring.deadlines.at(0)();
  ASSERT_TRUE(outcome->finished);
  const auto error = outcome->errorAs<KeychainError>();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->status(), KeychainStorage::noAnswerStatus);
  serveEvents();
  ASSERT_FALSE(job.isNull()) << "the keyring still holds the job";

  // The answer that comes too late frees the job and does not resume anything again.
  job->emitFinishedWithError(QKeychain::OtherError, QStringLiteral("late"));
  serveEvents();
  EXPECT_TRUE(job.isNull());
  EXPECT_EQ(outcome->errorAs<KeychainError>()->status(), KeychainStorage::noAnswerStatus);
  EXPECT_EQ(keyring.jobs.size(), 1);
}

TEST(KeychainStorage, ARequestOutlivesTheStoreThatMadeIt) {
  auto keyring = std::make_unique<ScriptedKeyring>();
  const auto outcome = startTask(keyring->storage.remove(QStringLiteral("a")));
  QKeychain::Job* job = &keyring->onlyJob();
  std::function<void()> deadline = keyring->deadlines.at(0);
  keyring.reset();

  answer(*job, QKeychain::EntryNotFound);
  ASSERT_TRUE(outcome->finished);
  EXPECT_FALSE(outcome->error);
  deadline();
}

TEST(KeychainStorage, ConcurrentRequestsEachGetTheirOwnAnswer) {
  ScriptedKeyring keyring;
  const auto first = startTask(keyring.storage.read(QStringLiteral("one")));
  const auto second = startTask(keyring.storage.read(QStringLiteral("two")));
  ASSERT_EQ(keyring.jobs.size(), 2);
  answer(*keyring.jobs.at(1), QKeychain::AccessDenied);
  EXPECT_FALSE(first->finished);
  ASSERT_TRUE(second->finished);
  EXPECT_EQ(second->errorAs<KeychainError>()->status(), QKeychain::AccessDenied);
  answer(*keyring.jobs.at(0), QKeychain::EntryNotFound);
  ASSERT_TRUE(first->finished);
  EXPECT_EQ(first->value, std::make_optional(std::optional<QByteArray>()));
}

} // namespace
