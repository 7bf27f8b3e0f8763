#pragma once

#include "InMemorySecureStorage.h"
#include "StandInAccount.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace brindlewick {

// The fixture of the account tests against the stand-in: the keyring, the reader's account at
// the stand-in, and the controller under test with the session it was opened with.
class StandInAccountTest : public testing::Test {
protected:
  // A signed-in controller's session-expiry wait ends from the event loop once it has gone.
  void TearDown() override {
    controller.reset();
    QCoreApplication::processEvents();
  }

  // How an account task ended: its error's text, empty for success.
  static QString run(QCoro::Task<> task) { return failureText(finishTask(std::move(task)).error); }

  static inline const QString invalid = AccountError::invalidResponse().description();
  static inline const QString notSignedIn = AccountError::notSignedIn().description();

  InMemorySecureStorage storage;
  StandInAccount account{storage};
  StandInHarness& harness = account.harness;
  ReadingService& service = account.service;
  QString reader = StandInAccount::reader;
  QString token;
  std::unique_ptr<AccountController> controller;
};

} // namespace brindlewick
