#include "../design/MonospacedFamilies.h"
#include "AccountFixtures.h"
#include "ContactSheet.h"
#include "model/ReaderModelFixture.h"
#include "service/BuildConfiguration.h"
#include "ui/account/AccountAvatar.h"
#include "ui/account/AccountMenu.h"
#include "ui/account/AccountView.h"
#include "ui/account/SignInAddress.h"
#include "ui/account/SyncButton.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropTextBlock.h"

#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Body = AccountState::Body;
using testing::ContactSheet;

const QString tokenPath = QStringLiteral("/api/reader-auth/device/token");
const QString codePath = QStringLiteral("/api/reader-auth/device/code");
const QString mePath = QStringLiteral("/api/reader/me");
const QString manifestPath = QStringLiteral("/api/reader/content/manifest");

template <typename T> T& child(const QWidget& root, const QString& name) {
  T* found = root.findChild<T*>(name);
  if (found == nullptr)
    throw std::runtime_error("no child " + name.toStdString());
  return *found;
}

class AccountScreensTest : public ::testing::Test {
protected:
  ReadingService& service() { return fx.harness().service(); }
  // A reader the stand-in knows, signing in from here; `approve` then approves the code.
  ReaderModel& openSignedOut() {
    service().accounts().addReader(
        {AccountFixtures::userID, QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
    service().accounts().setPreferences(AccountFixtures::userID, ReaderModelFixture::readerPreferences());
    service().grants().setTiming(600, 5);
    return fx.open();
  }
  void keepLegacySave(ReaderModel& model) {
    model.repository().toggleSave(*model.repository().snapshot(fx.release().release.lore[20].id), fx.now());
  }

  ReaderModelFixture fx;
};

// Continue, the code, the approval: the row stays until the sign-in task's last step, which
// here waits on the first content sync.
TEST_F(AccountScreensTest, SignInGoesThroughConnectingAndTheCodeToTheAccount) {
  ContactSheet sheet;
  ReaderModel& model = openSignedOut();
  AccountView card(model, true);
  auto& signIn = child<DropButton>(card, QStringLiteral("account.signIn"));
  ASSERT_EQ(card.body(), Body::signIn);
  EXPECT_TRUE(signIn.isEnabled());
  EXPECT_FALSE(card.showsConnecting());

  sheet.add(QStringLiteral("signed out"), card, 420);
  service().addFault("POST", codePath, {.hold = true});
  signIn.click();
  ASSERT_TRUE(waitUntil([&] { return service().heldReplies() == 1; }));
  EXPECT_EQ(card.body(), Body::signIn);
  EXPECT_FALSE(signIn.isEnabled());
  EXPECT_TRUE(card.showsConnecting());
  sheet.add(QStringLiteral("connecting"), card, 420);

  service().releaseHeld();
  ASSERT_TRUE(waitUntil([&] { return model.signInCode().has_value(); }));
  EXPECT_EQ(card.body(), Body::code);
  EXPECT_TRUE(card.showsConnecting());
  EXPECT_EQ(child<QLabel>(card, QStringLiteral("account.deviceCode")).text(), *model.signInCode());
  sheet.add(QStringLiteral("code pending"), card, 420);

  service().addFault("GET", manifestPath, {.hold = true});
  service().grants().approve(*model.signInCode(), AccountFixtures::userID);
  fx.advance(5);
  ASSERT_TRUE(waitUntil([&] { return service().heldReplies() == 1; }));
  EXPECT_EQ(card.body(), Body::signedIn);
  EXPECT_TRUE(card.showsConnecting());
  service().releaseHeld();
  fx.settle();
  EXPECT_FALSE(card.showsConnecting());
  sheet.write(QStringLiteral("account-card-sign-in.png"));
}

// This computer has no browser: the code stays, with the page's address to open elsewhere,
// and the approval from another device still signs the reader in.
TEST_F(AccountScreensTest, WithoutABrowserTheCodeStaysBesideTheAddressToOpenElsewhere) {
  ContactSheet sheet;
  fx.browser.opens = false;
  ReaderModel& model = openSignedOut();
  AccountView card(model, true);
  card.resize(420, card.heightForWidth(420));
  card.show();
  auto& address = child<SignInAddress>(card, QStringLiteral("signIn.address"));
  EXPECT_FALSE(address.isVisibleTo(&card));

  QTest::mouseClick(&child<DropButton>(card, QStringLiteral("account.signIn")), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return model.message().has_value(); }));
  ASSERT_EQ(model.message(), ReaderModel::browserFailureMessage);
  EXPECT_EQ(card.body(), Body::code);
  EXPECT_EQ(child<QLabel>(card, QStringLiteral("account.deviceCode")).text(), *model.signInCode());
  ASSERT_TRUE(address.isVisibleTo(&card));
  EXPECT_EQ(address.address(), model.signInURL()->toString(QUrl::FullyEncoded));
  EXPECT_EQ(QUrl(address.address()).host(), service().baseURL().host());
  const auto& text = child<QLabel>(address, QStringLiteral("signIn.addressText"));
  EXPECT_EQ(text.textFormat(), Qt::PlainText);
  EXPECT_TRUE(text.textInteractionFlags() & Qt::TextSelectableByMouse);
  // The card shows no message of its own: the line above the address says what happened. The
  // stand-in answers on this computer's loopback address, which no other device reaches.
  EXPECT_EQ(address.caption(), "No browser opened. Open this address in a browser on this computer:");
  QGuiApplication::clipboard()->clear();
  auto& copy = child<DropButton>(card, QStringLiteral("signIn.copyAddress"));
  QTest::mouseClick(&copy, Qt::LeftButton, {}, copy.shapeRect().center());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), address.address());
  sheet.add(QStringLiteral("no browser"), card, 420);
  // The address and its copy button's shape line up with the buttons above them.
  const auto& open = child<DropButton>(card, QStringLiteral("account.openBrowser"));
  const int column = open.mapTo(&card, open.shapeRect().topLeft()).x();
  EXPECT_EQ(copy.mapTo(&card, copy.shapeRect().topLeft()).x(), column);
  EXPECT_EQ(text.mapTo(&card, QPoint()).x(), column);

  // Trying again fails the same way and keeps everything in place.
  QTest::mouseClick(&child<DropButton>(card, QStringLiteral("account.openBrowser")), Qt::LeftButton);
  EXPECT_EQ(fx.browser.opened.size(), 2);
  EXPECT_TRUE(address.isVisibleTo(&card));

  service().grants().approve(*model.signInCode(), AccountFixtures::userID);
  fx.advance(5);
  fx.settle();
  EXPECT_EQ(card.body(), Body::signedIn);
  EXPECT_FALSE(address.isVisibleTo(&card));
  EXPECT_TRUE(address.address().isEmpty());
  sheet.write(QStringLiteral("account-card-no-browser.png"));
}

// The code is set in the desktop's monospaced font, whatever family that is: in each, the
// menu's card (its narrowest host) draws the whole code, none of it cut off at any edge.
TEST_F(AccountScreensTest, TheCodeIsWholeInEveryMonospacedFamily) {
  ContactSheet sheet;
  ReaderModel& model = openSignedOut();
  model.beginAccountSignIn();
  ASSERT_TRUE(waitUntil([&] { return model.signInCode().has_value(); }));
  const QString code = *model.signInCode();
  QStringList tried;
  for (const char* name : testing::monospacedFamilies) {
    const QString family = QString::fromLatin1(name);
    if (!QFontDatabase::hasFamily(family))
      continue;
    SCOPED_TRACE(name);
    tried.append(family);
    const testing::MonospacedFamily monospaced(family);
    AccountMenu menu(model);
    menu.show();
    sheet.add(QStringLiteral("code pending in the menu, ") + family, menu, 280);
    const auto& label = child<QLabel>(menu, QStringLiteral("account.deviceCode"));
    ASSERT_EQ(label.text(), code);
    EXPECT_EQ(QFontInfo(label.font()).family(), family);
    const QRect room = label.contentsRect();
    const QRect drawn = label.fontMetrics().boundingRect(room, int(label.alignment()), code);
    EXPECT_TRUE(room.contains(drawn))
        << drawn.width() << "×" << drawn.height() << " in " << room.width() << "×" << room.height();
    EXPECT_TRUE(menu.rect().contains(QRect(label.mapTo(&menu, QPoint()), label.size())));
  }
  if (tried.size() < 2)
    GTEST_SKIP() << "fewer than two of the monospaced families are installed (scripts/install-deps)";
  sheet.write(QStringLiteral("account-card-code-fonts.png"));
  model.cancelAccountSignIn();
  fx.settle();
}

// Another device can open the page only where the service is not on this computer's own
// loopback address.
TEST(SignInAddressCaption, OnlyAPageBeyondThisComputerIsOfferedToAnotherDevice) {
  const struct {
    const char* page;
    bool here;
  } rows[] = {
      {"https://reading.example/device?user_code=ABCD-EFGH", false},
      {"https://127.0.0.1:44380/device?user_code=ABCD-EFGH", true},
      {"https://127.8.9.10/device", true},
      {"https://[::1]:8443/device", true},
      {"https://localhost:8443/device", true},
      {"https://LocalHost/device", true},
      {"https://dev.localhost/device", true},
      {"https://localhost.example/device", false},
      {"https://192.168.1.20/device", false},
  };
  for (const auto& row : rows) {
    for (const bool failed : {false, true}) {
      SCOPED_TRACE(std::string(row.page) + (failed ? " after the browser failed" : ""));
      const QString caption = SignInAddress::captionFor(QUrl(QString::fromLatin1(row.page)), failed);
      EXPECT_EQ(caption.contains("another device"), !row.here) << caption.toStdString();
      EXPECT_EQ(caption.contains("on this computer"), row.here) << caption.toStdString();
      EXPECT_EQ(caption.startsWith("No browser opened."), failed) << caption.toStdString();
    }
  }
}

TEST_F(AccountScreensTest, CancelShowsTheInvitationAtOnceAndStopsPolling) {
  ReaderModel& model = openSignedOut();
  AccountView card(model, true);
  child<DropButton>(card, QStringLiteral("account.signIn")).click();
  ASSERT_TRUE(waitUntil([&] { return model.signInCode().has_value(); }));
  service().addFault("POST", tokenPath, {.hold = true});
  fx.advance(5);
  ASSERT_TRUE(waitUntil([&] { return service().heldReplies() == 1; }));

  child<DropButton>(card, QStringLiteral("account.cancel")).click();
  EXPECT_EQ(card.body(), Body::signIn);
  EXPECT_FALSE(model.account().isSigningIn());
  // Disabled exactly while the cancelled task has not ended.
  auto& signIn = child<DropButton>(card, QStringLiteral("account.signIn"));
  EXPECT_EQ(signIn.isEnabled(), !card.showsConnecting());
  fx.settle();
  EXPECT_TRUE(signIn.isEnabled());
  EXPECT_FALSE(card.showsConnecting());
  const int polls = fx.requestsTo(tokenPath);
  service().releaseHeld();
  fx.advance(60);
  flushEvents();
  EXPECT_EQ(fx.requestsTo(tokenPath), polls);
  EXPECT_FALSE(model.message());
}

TEST_F(AccountScreensTest, WithoutAServiceAddressSignInIsUnavailable) {
  QFile configuration(fx.path(BuildConfiguration::fileName));
  ASSERT_TRUE(configuration.open(QIODevice::WriteOnly | QIODevice::Truncate));
  configuration.write(
      QJsonDocument(QJsonObject{{BuildConfiguration::versionKey, QStringLiteral("1.0.0")}}).toJson());
  configuration.close();
  ContactSheet sheet;
  ReaderModel& model = fx.open();
  service().clearRequestLog();
  AccountView card(model, true);
  auto& signIn = child<DropButton>(card, QStringLiteral("account.signIn"));
  EXPECT_FALSE(signIn.isEnabled());
  EXPECT_FALSE(card.findChild<DropNotice*>()->isHidden());
  signIn.click();
  model.beginAccountSignIn(); // even asked directly, nothing is sent
  fx.settle();
  EXPECT_TRUE(service().requestLog().isEmpty());
  sheet.add(QStringLiteral("signed out, no service address"), card, 420);
  sheet.write(QStringLiteral("account-card-no-service.png"));
}

TEST_F(AccountScreensTest, AnExpiredSessionShowsTheCachedReaderOverTheInvitation) {
  fx.signIn();
  fx.jumpWallClock(40 * 86400.0);
  ReaderModel& model = fx.open();
  ASSERT_FALSE(model.account().isSignedIn());
  ASSERT_TRUE(model.account().user());
  AccountView card(model, true);
  EXPECT_EQ(card.body(), Body::signIn);
  EXPECT_EQ(child<DropTextBlock>(card, QStringLiteral("account.title")).text(), QStringLiteral("Ada"));
  EXPECT_EQ(child<QLabel>(card, QStringLiteral("account.subtitle")).text(),
            QStringLiteral("ada@example.com"));
  EXPECT_FALSE(card.findChild<AccountAvatar*>()->user());
}

// Signed in: the card's actions, the menu's rows; then a sync, an import and a sign-out as the
// open menu sees them.
TEST_F(AccountScreensTest, SignedInCardAndMenuFollowTheModel) {
  ContactSheet cards;
  ContactSheet menus;
  fx.signIn();
  ReaderModel& model = fx.open();
  keepLegacySave(model);
  AccountView card(model, true);
  AccountMenu menu(model);
  menu.show();
  cards.add(QStringLiteral("signed in, with import"), card, 520);
  EXPECT_TRUE(card.actionsInRow());
  cards.add(QStringLiteral("narrow"), card, 190);
  EXPECT_FALSE(card.actionsInRow());
  // The import button keeps its whole title: the card grows rather than cut it.
  const auto& import = child<DropButton>(card, QStringLiteral("account.import"));
  EXPECT_GE(import.width(), import.sizeHint().width());
  EXPECT_TRUE(menu.showsSignedIn());
  menus.add(QStringLiteral("menu signed in, with import"), menu, 280);

  service().addFault("GET", mePath, {.hold = true});
  child<DropMenuRow>(menu, QStringLiteral("account.menu.sync")).click();
  ASSERT_TRUE(waitUntil([&] { return service().heldReplies() == 1; }));
  EXPECT_FALSE(child<DropMenuRow>(menu, QStringLiteral("account.menu.sync")).isEnabled());
  EXPECT_FALSE(child<SyncButton>(card, QStringLiteral("account.sync")).isEnabled());
  EXPECT_TRUE(child<SyncButton>(card, QStringLiteral("account.sync")).showsProgress());
  menus.add(QStringLiteral("menu syncing"), menu, 280);
  service().releaseHeld();
  fx.settle();
  EXPECT_TRUE(child<DropMenuRow>(menu, QStringLiteral("account.menu.sync")).isEnabled());

  model.repository().toggleSave(*model.repository().snapshot(fx.release().release.lore[20].id), fx.now());
  EXPECT_TRUE(child<DropMenuRow>(menu, QStringLiteral("account.menu.import")).isHidden());
  menus.add(QStringLiteral("menu signed in, no import"), menu, 280);

  int closes = 0;
  QObject::connect(&menu, &AccountMenu::closeRequested, [&] { ++closes; });
  child<DropMenuRow>(menu, QStringLiteral("account.menu.settings")).click();
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(model.navigationTab(), ReaderTab::settings);

  child<DropMenuRow>(menu, QStringLiteral("account.signOut")).click();
  fx.settle();
  EXPECT_FALSE(menu.showsSignedIn());
  EXPECT_EQ(menu.signInContent().body(), Body::signIn);
  EXPECT_EQ(closes, 1);
  menus.add(QStringLiteral("menu signed out (the card without its surface)"), menu, 280);
  cards.write(QStringLiteral("account-card-signed-in.png"));
  menus.write(QStringLiteral("account-menu.png"));
}

TEST_F(AccountScreensTest, AMenuDestroyedDuringItsSyncLeavesTheSyncRunning) {
  fx.signIn();
  ReaderModel& model = fx.open();
  const int before = fx.requestsTo(mePath);
  auto menu = std::make_unique<AccountMenu>(model);
  service().addFault("GET", mePath, {.hold = true});
  child<DropMenuRow>(*menu, QStringLiteral("account.menu.sync")).click();
  ASSERT_TRUE(waitUntil([&] { return service().heldReplies() == 1; }));
  menu.reset();
  service().releaseHeld();
  fx.settle();
  EXPECT_EQ(fx.requestsTo(mePath), before + 1);
  EXPECT_FALSE(model.lastSyncFailed());
  EXPECT_FALSE(model.syncIssue());
}

} // namespace
} // namespace brindlewick
