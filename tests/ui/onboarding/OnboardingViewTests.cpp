#include "../design/MonospacedFamilies.h"
#include "../window/ReaderWindowTestFixture.h"
#include "TestOutput.h"
#include "service/BuildConfiguration.h"
#include "ui/account/SignInAddress.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropTextBlock.h"
#include "ui/onboarding/DeviceCodeLabel.h"
#include "ui/onboarding/OnboardingView.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QTest>
#include <QVariantAnimation>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Page = OnboardingState::Page;
using testing::monospacedFamilies;
using testing::MonospacedFamily;
const QString tokenPath = QStringLiteral("/api/reader-auth/device/token");

// Pictures of the screen, one under the other, for a person to look at.
struct Pictures {
  void add(QWidget& widget) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    images.append(widget.grab().toImage());
  }
  void write(const QString& name) const {
    int height = 0;
    for (const QImage& image : images)
      height += image.height();
    QImage sheet(images.first().width(), height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&sheet);
    int y = 0;
    for (const QImage& image : images) {
      painter.drawImage(0, y, image);
      y += image.height();
    }
    painter.end();
    sheet.save(testing::testOutputPath(name));
  }
  QList<QImage> images;
};

class OnboardingViewTest : public ::testing::Test {
protected:
  // The screen takes the code's font as it is built: the family is chosen before the window.
  explicit OnboardingViewTest(const QString& monospacedFamily = {}) : monospaced(monospacedFamily) {
    ReadingService& service = w.fixture.harness().service();
    service.accounts().addReader(
        {AccountFixtures::userID, QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
    service.accounts().setPreferences(AccountFixtures::userID, ReaderModelFixture::readerPreferences());
    service.grants().setTiming(600, 5);
  }
  OnboardingView& screen() { return *qobject_cast<OnboardingView*>(w.home->onboarding()); }
  template <typename T = DropButton> T& control(const char* name) {
    T* found = screen().findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
      throw std::runtime_error(name);
    return *found;
  }
  bool shown(const char* name) { return control<QWidget>(name).isVisibleTo(&screen()); }
  void waitForCode() {
    ASSERT_TRUE(waitUntil([&] { return w.model->signInCode().has_value(); }));
  }

  MonospacedFamily monospaced;
  ReaderWindowHarness w{false};
};

TEST_F(OnboardingViewTest, TheSignInRunsThroughBothPagesAndBackWithoutLosingItsCode) {
  Pictures pictures;
  EXPECT_TRUE(w.window.fullBleed());
  EXPECT_EQ(screen().page(), Page::welcome);
  EXPECT_TRUE(shown("onboarding.next"));
  pictures.add(screen());

  w.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
  QTest::keyClick(&w.window, Qt::Key_Return);
  ASSERT_EQ(screen().page(), Page::signIn);
  EXPECT_EQ(control<QWidget>("onboarding.steps").accessibleName(), "Step 2 of 2");
  EXPECT_TRUE(shown("onboarding.back") && shown("onboarding.notNow") && !shown("onboarding.next"));
  QTest::keyClick(&w.window, Qt::Key_Return); // only the welcome page answers Return
  EXPECT_EQ(screen().page(), Page::signIn);
  EXPECT_TRUE(control("onboarding.signIn").isEnabled());
  pictures.add(screen());

  ReadingService& service = w.fixture.harness().service();
  service.addFault("POST", QStringLiteral("/api/reader-auth/device/code"), {.hold = true});
  control("onboarding.signIn").click();
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_FALSE(control("onboarding.signIn").isEnabled());
  EXPECT_TRUE(shown("onboarding.signIn"));
  pictures.add(screen());
  service.releaseHeld();
  waitForCode();
  const QString code = *w.model->signInCode();
  auto& label = control<DeviceCodeLabel>("onboarding.deviceCode");
  EXPECT_EQ(label.text(), OnboardingState::displayedCode(code));
  EXPECT_FALSE(shown("onboarding.signIn"));
  pictures.add(screen());

  // Copying gives the code the service issued, dash or no dash on screen.
  label.setFocus();
  label.setSelection(0, int(label.text().size()));
  QTest::keySequence(&label, QKeySequence::Copy);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), code);
  DeviceCodeLabel grouped;
  grouped.setCode(QStringLiteral("ABCDEFGH"));
  grouped.setSelection(2, 5); // "CD–EF"
  QTest::keySequence(&grouped, QKeySequence::Copy);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "CDEF");

  control("onboarding.back").click();
  EXPECT_EQ(screen().page(), Page::welcome);
  EXPECT_TRUE(w.model->signInRunning());
  control("onboarding.next").click();
  EXPECT_EQ(label.text(), OnboardingState::displayedCode(code));

  control("onboarding.cancel").click();
  EXPECT_EQ(screen().page(), Page::signIn);
  EXPECT_FALSE(w.model->signInCode());
  EXPECT_TRUE(shown("onboarding.signIn"));
  w.fixture.settle();

  control("onboarding.signIn").click();
  waitForCode();
  control("onboarding.notNow").click();
  EXPECT_EQ(screen().page(), Page::welcome);
  EXPECT_FALSE(w.model->account().isSigningIn());
  w.fixture.settle();
  pictures.write(QStringLiteral("onboarding-pages.png"));
}

TEST_F(OnboardingViewTest, ADeclineReturnsToWelcomeAndAnExpiredCodeSaysSoOnTheSignInPage) {
  ReadingService& service = w.fixture.harness().service();
  control("onboarding.next").click();
  control("onboarding.signIn").click();
  waitForCode();
  service.addFault("POST", tokenPath, {.status = 400, .body = QByteArray(R"({"error":"access_denied"})")});
  w.fixture.advance(5);
  w.fixture.settle();
  EXPECT_EQ(screen().page(), Page::welcome);

  service.grants().setTiming(10, 5);
  control("onboarding.next").click();
  control("onboarding.signIn").click();
  waitForCode();
  // Each poll crosses the network, and the next one is planned only once its answer is in: the
  // clock moves a second at a time, giving every answer a moment to come back, until the
  // expiry is reported.
  for (int second = 0; second < 30 && !w.model->message(); ++second) {
    w.fixture.advance(1);
    waitUntil([&] { return w.model->message().has_value(); }, 100);
  }
  w.fixture.settle();
  ASSERT_TRUE(w.model->message().has_value());
  EXPECT_EQ(screen().page(), Page::signIn);
  EXPECT_TRUE(shown("onboarding.message"));
  EXPECT_EQ(control<DropNotice>("onboarding.message").text(), *w.model->message());
  Pictures pictures;
  pictures.add(screen());
  pictures.write(QStringLiteral("onboarding-message.png"));

  // Approving from here removes the screen, and the window is whole again.
  QPointer<QWidget> gone(&screen());
  w.signInThroughTheService(AccountFixtures::userID, QStringLiteral("ada@example.com"));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(gone.isNull());
  EXPECT_FALSE(w.window.fullBleed());
}

TEST_F(OnboardingViewTest, AnInterruptedTransitionLeavesOnePageInPlaceAndNothingFading) {
  UiEnvironment::instance().setOverrides({.reduceMotion = false});
  auto& welcome = control<QWidget>("onboarding.welcomePage");
  auto& signIn = control<QWidget>("onboarding.signInPage");
  const auto finished = [&] { return !screen().transitionRunning(); };
  QTest::mouseClick(&control("onboarding.next"), Qt::LeftButton);
  ASSERT_TRUE(waitUntil(finished));
  const QPoint signInHome = signIn.pos();
  QTest::mouseClick(&control("onboarding.signIn"), Qt::LeftButton);
  waitForCode();
  QTest::mouseClick(&control("onboarding.back"), Qt::LeftButton);
  ASSERT_TRUE(waitUntil(finished));
  const QPoint welcomeHome = welcome.pos();

  const struct {
    const char* button; // pressed while the sign-in page is still coming in
    Page stays;
  } cases[] = {{"onboarding.cancel", Page::signIn}, {"onboarding.back", Page::welcome}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    if (screen().page() != Page::welcome) {
      QTest::mouseClick(&control("onboarding.back"), Qt::LeftButton);
      ASSERT_TRUE(waitUntil(finished));
    }
    QTest::mouseClick(&control("onboarding.next"), Qt::LeftButton);
    QTest::qWait(60);
    ASSERT_TRUE(screen().transitionRunning());
    ASSERT_TRUE(shown(c.button));
    QTest::mouseClick(&control(c.button), Qt::LeftButton);
    ASSERT_TRUE(waitUntil(finished));
    QTest::qWait(300); // longer than any transition, and what it left for later is gone
    QWidget& kept = c.stays == Page::signIn ? signIn : welcome;
    QWidget& left = c.stays == Page::signIn ? welcome : signIn;
    EXPECT_EQ(screen().page(), c.stays);
    EXPECT_TRUE(kept.isVisible());
    EXPECT_EQ(kept.pos(), c.stays == Page::signIn ? signInHome : welcomeHome);
    EXPECT_FALSE(left.isVisible());
    EXPECT_EQ(kept.graphicsEffect(), nullptr);
    EXPECT_EQ(left.graphicsEffect(), nullptr);
    EXPECT_TRUE(screen().findChildren<QVariantAnimation*>().isEmpty());
  }
}

// The window's menu bar goes with the toolbar while the onboarding covers the window, so
// nothing light stays above the dark screen; a click that turns the page leaves no focus
// ring on the next page's buttons.
TEST_F(OnboardingViewTest, UnderFullBleedTheMenuBarGoesWithTheToolbar) {
  w.window.menuBar()->addMenu(QStringLiteral("Brindlewick"))->addAction(QStringLiteral("Quit"));
  w.window.hide(); // shown again with its menu bar, as the application first shows it
  w.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
  ASSERT_TRUE(w.window.fullBleed());
  EXPECT_FALSE(w.window.menuBar()->isVisible());
  EXPECT_EQ(w.home->geometry().top(), 0) << "the screen reaches the window's top edge";

  w.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
  DropButton& next = control("onboarding.next");
  QTest::mouseClick(&next, Qt::LeftButton, {}, next.shapeRect().center());
  ASSERT_EQ(screen().page(), Page::signIn);
  for (const char* name : {"onboarding.back", "onboarding.notNow", "onboarding.signIn"})
    EXPECT_EQ(control(name).controlState().focus, 0.0) << name;
  QImage shot = w.window.grab().toImage();
  EXPECT_TRUE(shot.save(testing::testOutputPath(QStringLiteral("onboarding-full-bleed-menu-bar.png"))));
}

// The address stands beside the code from the start; when the browser answers that it could
// not open the page, the line above the address says so, and the address can be copied.
TEST_F(OnboardingViewTest, OpeningThePageWithoutABrowserSaysSoBesideTheAddressToCopy) {
  UiEnvironment::instance().setOverrides({.reduceMotion = true});
  QTest::mouseClick(&control("onboarding.next"), Qt::LeftButton);
  QTest::mouseClick(&control("onboarding.signIn"), Qt::LeftButton);
  waitForCode();
  flushEvents();
  auto& address = control<SignInAddress>("signIn.address");
  ASSERT_TRUE(address.isVisibleTo(&screen()));
  const QString page = w.model->signInURL()->toString(QUrl::FullyEncoded);
  EXPECT_EQ(address.address(), page);
  // The stand-in answers on this computer's loopback address, which no other device reaches.
  EXPECT_EQ(address.caption(), "Or open this address in a browser on this computer:");
  EXPECT_FALSE(w.model->message());

  w.fixture.browser.opens = false;
  QTest::mouseClick(&control("onboarding.openBrowser"), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return w.model->message().has_value(); }));
  EXPECT_EQ(w.fixture.browser.opened, (QList<QUrl>{QUrl(page), QUrl(page)}));
  EXPECT_EQ(*w.model->message(),
            "The sign-in page could not open. Check your default browser and try again.");
  EXPECT_EQ(address.caption(), "No browser opened. Open this address in a browser on this computer:");
  EXPECT_TRUE(shown("onboarding.deviceCode"));
  EXPECT_TRUE(address.isVisibleTo(&screen()));
  EXPECT_EQ(address.address(), page);
  const auto& text = control<QLabel>("signIn.addressText");
  EXPECT_EQ(text.textFormat(), Qt::PlainText);
  EXPECT_TRUE(text.textInteractionFlags() & Qt::TextSelectableByMouse);

  QGuiApplication::clipboard()->clear();
  DropButton& copy = control("signIn.copyAddress");
  QTest::mouseClick(&copy, Qt::LeftButton, {}, copy.shapeRect().center());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), page);
  EXPECT_EQ(copy.text(), "Copied");
  Pictures pictures;
  pictures.add(screen());
  pictures.write(QStringLiteral("onboarding-no-browser.png"));

  // Cancelling takes the address away with the code.
  QTest::mouseClick(&control("onboarding.cancel"), Qt::LeftButton);
  EXPECT_FALSE(address.isVisibleTo(&screen()));
  EXPECT_FALSE(shown("onboarding.message")) << "the browser's answer was about the code that went";
  w.fixture.settle();
  UiEnvironment::instance().setOverrides({});
}

// An answer that comes once the reader has left the code says nothing about what is shown.
TEST_F(OnboardingViewTest, ABrowsersLateAnswerAboutACancelledCodeIsNotShown) {
  UiEnvironment::instance().setOverrides({.reduceMotion = true});
  w.fixture.browser.opens = false;
  w.fixture.browser.holding = true;
  QTest::mouseClick(&control("onboarding.next"), Qt::LeftButton);
  QTest::mouseClick(&control("onboarding.signIn"), Qt::LeftButton);
  waitForCode();
  QTest::mouseClick(&control("onboarding.cancel"), Qt::LeftButton);
  w.fixture.browser.release();
  w.fixture.settle();
  EXPECT_EQ(w.fixture.browser.opened.size(), 1);
  EXPECT_FALSE(w.model->message());
  EXPECT_FALSE(shown("onboarding.message"));
  UiEnvironment::instance().setOverrides({});
}

// The code is set in the desktop's monospaced font, whose height differs from family to family
// (and whose laid-out line can be a pixel taller than its rounded metrics): the page is run
// with the desktop's own and with families of different heights.
class OnboardingCodeFontTest : public OnboardingViewTest, public ::testing::WithParamInterface<const char*> {
protected:
  OnboardingCodeFontTest() : OnboardingViewTest(QString::fromLatin1(GetParam())) {}
  QString family() const {
    const QString chosen = QString::fromLatin1(GetParam());
    return chosen.isEmpty() ? DropFonts::monospacedFamily() : chosen;
  }
  QString pictureName() const {
    QString name = QString::fromLatin1(GetParam()).toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    return QStringLiteral("onboarding-code-step-%1.png")
        .arg(name.isEmpty() ? QStringLiteral("desktop") : name);
  }
};

// The heading, the code's slot and the footer stay where they are while the sign-in starts,
// shows its code, learns that no browser opened, and is cancelled.
TEST_P(OnboardingCodeFontTest, TheSignInPageKeepsItsPlaceThroughTheCodeStep) {
  if (!QFontDatabase::hasFamily(family()))
    GTEST_SKIP() << qPrintable(family()) << " is not installed (scripts/install-deps installs it)";
  UiEnvironment::instance().setOverrides({.reduceMotion = true});
  // Otherwise the test would run again in whichever family stands in for a missing one.
  EXPECT_EQ(QFontInfo(control<DeviceCodeLabel>("onboarding.deviceCode").font()).family(), family());
  QTest::mouseClick(&control("onboarding.next"), Qt::LeftButton);
  ASSERT_EQ(screen().page(), Page::signIn);
  DropTextBlock* title = nullptr;
  for (DropTextBlock* block : screen().findChildren<DropTextBlock*>()) {
    if (block->text() == QStringLiteral("Sign in to receive your drops."))
      title = block;
  }
  ASSERT_NE(title, nullptr);
  const auto places = [&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QList<QRect> found;
    for (QWidget* widget : {static_cast<QWidget*>(title), &control<QWidget>("onboarding.signInSlot"),
                            &control<QWidget>("onboarding.back"), &control<QWidget>("onboarding.notNow"),
                            &control<QWidget>("onboarding.steps")})
      found.append(QRect(widget->mapTo(&screen(), QPoint(0, 0)), widget->size()));
    return found;
  };
  const QList<QRect> idle = places();
  Pictures pictures;
  pictures.add(screen());

  ReadingService& service = w.fixture.harness().service();
  service.addFault("POST", QStringLiteral("/api/reader-auth/device/code"), {.hold = true});
  QTest::mouseClick(&control("onboarding.signIn"), Qt::LeftButton, {},
                    control("onboarding.signIn").shapeRect().center());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  ASSERT_TRUE(shown("onboarding.signIn"));
  EXPECT_EQ(places(), idle) << "starting";

  w.fixture.browser.opens = false;
  service.releaseHeld();
  waitForCode();
  ASSERT_TRUE(shown("onboarding.deviceCode"));
  EXPECT_EQ(places(), idle) << "the code";
  ASSERT_TRUE(waitUntil([&] { return w.model->message().has_value(); }));
  EXPECT_EQ(places(), idle) << "no browser opened";
  pictures.add(screen());

  QTest::mouseClick(&control("onboarding.cancel"), Qt::LeftButton);
  ASSERT_TRUE(shown("onboarding.signIn"));
  EXPECT_EQ(places(), idle) << "cancelled";
  w.fixture.settle();
  EXPECT_EQ(places(), idle) << "cancelled and settled";
  pictures.add(screen());
  pictures.write(pictureName());
  UiEnvironment::instance().setOverrides({});
}

INSTANTIATE_TEST_SUITE_P(MonospacedFamilies, OnboardingCodeFontTest,
                         ::testing::Values("", monospacedFamilies[0], monospacedFamilies[1],
                                           monospacedFamilies[2]),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name(info.param);
                           std::erase(name, ' ');
                           return name.empty() ? std::string("Desktops") : name;
                         });

TEST(OnboardingView, WithoutAServiceAddressTheSignInPageSaysWhyAndTheFirstShowingChimes) {
  ReaderModelFixture fx;
  fx.executablePath = fx.installPrefix + QStringLiteral("/bin/brindlewick");
  QDir().mkpath(fx.installPrefix + QStringLiteral("/bin"));
  QFile executable(fx.executablePath);
  ASSERT_TRUE(executable.open(QIODevice::WriteOnly));
  executable.close();
  QFile configuration(fx.path(BuildConfiguration::fileName));
  ASSERT_TRUE(configuration.open(QIODevice::WriteOnly | QIODevice::Truncate));
  configuration.write(
      QJsonDocument(QJsonObject{{BuildConfiguration::versionKey, QStringLiteral("1.0.0")}}).toJson());
  configuration.close();
  UiEnvironment::instance().setOverrides({.reduceMotion = true});
  ReaderModel& model = fx.open();
  OnboardingView view(model);
  view.resize(960, 640);
  view.show();
  EXPECT_EQ(fx.chimeSound->plays, 1);
  view.findChild<DropButton*>(QStringLiteral("onboarding.next"))->click();
  EXPECT_FALSE(view.findChild<DropButton*>(QStringLiteral("onboarding.signIn"))->isEnabled());
  auto* notice = view.findChild<DropNotice*>(QStringLiteral("onboarding.noService"));
  EXPECT_TRUE(notice->isVisibleTo(&view));
  Pictures pictures;
  pictures.add(view);
  pictures.write(QStringLiteral("onboarding-no-service.png"));
  UiEnvironment::instance().setOverrides({});
}

} // namespace
} // namespace brindlewick
