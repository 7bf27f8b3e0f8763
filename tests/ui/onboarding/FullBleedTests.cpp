#include "panel/ReadingWindow.h"
#include "ui/design/DropArtwork.h"
#include "ui/onboarding/FullBleedWindow.h"
#include "ui/onboarding/OnboardingBackdrop.h"
#include "ui/onboarding/TitlebarArea.h"

#include <QApplication>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

TEST(FullBleedWindow, TheWindowRunsEdgeToEdgeExactlyWhileTheScreenIsShown) {
  ReadingWindow window(QRect(0, 0, 960, 680), QSize(960, 640));
  auto* bar = new QToolBar(&window);
  window.addToolBar(Qt::TopToolBarArea, bar);
  auto* hiddenBar = new QToolBar(&window);
  window.addToolBar(Qt::BottomToolBarArea, hiddenBar);
  hiddenBar->hide();
  window.setCentralWidget(new QWidget);
  window.show();
  const Qt::WindowFlags flags = window.windowFlags();
  const Qt::WindowStates states = window.windowState();

  auto* screen = new QWidget(window.centralWidget());
  auto* probe = new FullBleedWindow(screen);
  screen->show();
  EXPECT_TRUE(window.fullBleed());
  EXPECT_FALSE(bar->isVisible());
  screen->hide();
  EXPECT_FALSE(window.fullBleed());
  EXPECT_TRUE(bar->isVisible());
  EXPECT_FALSE(hiddenBar->isVisible()) << "only the bars it hid come back";
  screen->show();
  EXPECT_EQ(probe->host(), &window);
  delete screen;
  EXPECT_FALSE(window.fullBleed());
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(window.windowFlags(), flags);
  EXPECT_EQ(window.windowState(), states);
}

TEST(FullBleedWindow, AWindowGoneFirstIsLeftAlone) {
  auto* window = new ReadingWindow(QRect(0, 0, 960, 680), QSize(960, 640));
  window->setCentralWidget(new QWidget);
  // One screen goes down with the window, another outlives it.
  auto* inside = new QWidget(window->centralWidget());
  new FullBleedWindow(inside);
  QWidget outside;
  FullBleedWindow probe(&outside);
  outside.setParent(window->centralWidget());
  window->show();
  ASSERT_EQ(probe.host(), window);
  outside.setParent(nullptr);
  delete window;
  EXPECT_EQ(probe.host(), nullptr);
  outside.hide(); // and nothing fails when it then goes
}

TEST(TitlebarArea, APressDragsAndADoubleClickDoesWhatTheDesktopSays) {
  for (const auto& [setting, expected] :
       std::initializer_list<std::pair<std::optional<QString>, const char*>>{
           {std::nullopt, "move move toggle move"},
           {QStringLiteral("Minimize"), "move move minimise move"},
           {QStringLiteral("None"), "move move move"},
           {QStringLiteral("minimize"), "move move toggle move"}, // the setting is case-sensitive
           {QStringLiteral("Maximize"), "move move toggle move"}}) {
    QStringList ran;
    const auto record = [&ran](const char* action) {
      return [&ran, action](QWidget*) { ran.append(action); };
    };
    QWidget window;
    TitlebarArea strip([setting] { return setting; }, {record("move"), record("toggle"), record("minimise")},
                       &window);
    strip.resize(400, TitlebarArea::height);
    window.show();
    // A triple click as Qt delivers it: press, release, press and double click, release, and
    // a third press that drags again.
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseDClick(&strip, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mousePress(&strip, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(ran.join(' ').toStdString(), expected)
        << setting.value_or(QStringLiteral("(unset)")).toStdString();
  }
}

// Without the sky the screen still gets a whole, opaque backdrop rather than holes.
TEST(OnboardingBackdrop, WithoutTheSkyTheBackdropIsStillOpaque) {
  const QSize size(400, 300);
  const QImage missing = OnboardingBackdrop::picture(QStringLiteral("no-such-sky"), size, 1).toImage();
  for (const QPoint& point : {QPoint(0, 0), QPoint(200, 150), QPoint(399, 299)})
    EXPECT_EQ(missing.pixelColor(point).alpha(), 255);
  ASSERT_TRUE(DropArtwork::exists(DropArtwork::onboardingSky));
  EXPECT_NE(OnboardingBackdrop::picture(DropArtwork::onboardingSky, size, 1).toImage(), missing);
}

} // namespace
} // namespace brindlewick
