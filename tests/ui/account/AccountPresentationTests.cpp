#include "ui/account/AccountState.h"
#include "ui/account/ElidedEmailLabel.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Body = AccountState::Body;

ReaderAccountUser named(const QString& name, const QString& email) {
  return {QStringLiteral("reader-7"), name, email, std::nullopt};
}

TEST(AccountStateTest, TitlesOfCardAndMenu) {
  struct Case {
    std::optional<ReaderAccountUser> user;
    QString cardTitle;
    QString menuTitle;
    std::optional<QString> menuEmail;
  };
  const QString email = QStringLiteral("ada@example.com");
  const Case cases[] = {
      {std::nullopt, QStringLiteral("Your reading, together"), QStringLiteral("Your account"), std::nullopt},
      {named(QStringLiteral("Ada"), email), QStringLiteral("Ada"), QStringLiteral("Ada"), email},
      {named(QStringLiteral(" \n\t "), email), email, email, std::nullopt}, // shown once
      {named(QStringLiteral("  Ada "), email), QStringLiteral("  Ada "), QStringLiteral("  Ada "), email},
      {named(QString(), QString()), QString(), QString(), std::nullopt},
  };
  for (const Case& c : cases) {
    AccountState state;
    state.user = c.user;
    SCOPED_TRACE(c.cardTitle.toStdString());
    EXPECT_EQ(state.cardTitle(), c.cardTitle);
    EXPECT_EQ(state.menuTitle(), c.menuTitle);
    EXPECT_EQ(state.menuEmail(), c.menuEmail);
    if (c.user) {
      EXPECT_EQ(state.cardSubtitle(), c.user->email);
    }
  }
}

TEST(AccountStateTest, WhatIsEnabledAndWhichBodyShows) {
  struct Case {
    const char* name;
    AccountState state;
    bool sync, import, signOut, signIn;
    Body body;
  };
  AccountState idle;
  idle.signedIn = idle.hasStoredSession = idle.hasServiceAddress = true;
  const auto with = [&](auto change) {
    AccountState state = idle;
    change(state);
    return state;
  };
  const Case cases[] = {
      {"idle", idle, true, true, true, false, Body::signedIn},
      {"no session", with([](auto& s) { s.signedIn = s.hasStoredSession = false; }), false, true, true, true,
       Body::signIn},
      {"account service busy", with([](auto& s) { s.accountServiceBusy = true; }), false, true, true, false,
       Body::signedIn},
      {"refreshing", with([](auto& s) { s.refreshing = true; }), false, true, true, false, Body::signedIn},
      {"collection busy", with([](auto& s) { s.collectionBusy = true; }), true, false, false, false,
       Body::signedIn},
      {"signing in, code left behind",
       with([](auto& s) { s.accountBusy = true, s.signInCode = QStringLiteral("AB"); }), true, true, false,
       false, Body::signedIn},
      {"code pending",
       with([](auto& s) { s.signedIn = false, s.accountBusy = true, s.signInCode = QStringLiteral("AB"); }),
       true, true, false, false, Body::code},
      {"no service address", with([](auto& s) { s.signedIn = s.hasServiceAddress = false; }), true, true,
       true, false, Body::signIn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool signInAllowed = !c.state.signedIn && c.state.canBeginSignIn();
    EXPECT_EQ(c.state.canSync(), c.sync);
    EXPECT_EQ(c.state.canImport(), c.import);
    EXPECT_EQ(c.state.canSignOut(), c.signOut);
    EXPECT_EQ(signInAllowed, c.signIn);
    EXPECT_EQ(c.state.body(), c.body);
  }
}

TEST(ElidedEmailLabelTest, ElidesInTheMiddleAndCopiesTheWholeAddress) {
  const QString address = QStringLiteral("ada.lovelace.and.a.long.name@analytical-engines.example.com");
  ElidedEmailLabel label;
  label.setFullText(address);
  label.resize(label.sizeHint());
  label.show();
  EXPECT_FALSE(label.isElided());
  label.resize(120, label.sizeHint().height());
  ASSERT_TRUE(label.isElided());
  EXPECT_TRUE(label.text().startsWith(QStringLiteral("ada")));
  EXPECT_TRUE(label.text().endsWith(QStringLiteral("com")));
  label.setSelection(0, 4);
  QTest::keySequence(&label, QKeySequence::Copy);
  EXPECT_EQ(QApplication::clipboard()->text(), address);
}

} // namespace
} // namespace brindlewick
