#include "panel/ReadingWindow.h"

#include <QApplication>
#include <QBackingStore>
#include <QScreen>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// A reader window with a 28 pt toolbar above its content: a chrome of 0 by 28.
struct Window {
  ReadingWindow window{QRect(100, 100, 960, 680), QSize(960, 640)};
  Window() {
    window.setCentralWidget(new QWidget);
    auto* toolbar = new QToolBar;
    toolbar->setFixedHeight(28);
    toolbar->setMovable(false);
    window.addToolBar(toolbar);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

} // namespace

TEST(ReadingWindow, NeverShrinksBelowTheReadingSizePlusItsChrome) {
  Window w;
  ReadingWindow& window = w.window;
  EXPECT_EQ(window.chrome(), QSize(0, 28));
  EXPECT_EQ(window.minimumReadingFrameSize(), QSize(960, 668));
  EXPECT_EQ(window.minimumSize(), QSize(960, 668));

  // Too small: grows right and down, keeping the top-left corner.
  window.setFrame(QRect(100, 100, 800, 500));
  EXPECT_EQ(window.geometry(), QRect(100, 100, 960, 668));
  // Only the width too small: only the width grows.
  window.setFrame(QRect(50, 60, 700, 900));
  EXPECT_EQ(window.geometry(), QRect(50, 60, 960, 900));
  // Qt's own ways of setting the size go through the same minimum.
  window.resize(10, 10);
  EXPECT_EQ(window.geometry(), QRect(50, 60, 960, 668));
  window.setGeometry(20, 30, 100, 100);
  EXPECT_EQ(window.geometry(), QRect(20, 30, 960, 668));

  // Closing only hides it: the same window comes back.
  QPointer<ReadingWindow> kept(&window);
  EXPECT_TRUE(window.close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(kept.isNull());
  window.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
}

// Set up and placed before it is first shown, as the application does at start.
TEST(ReadingWindow, MeasuresItsChromeBeforeItIsShown) {
  ReadingWindow window(QRect(0, 0, 960, 680), QSize(960, 640));
  window.setCentralWidget(new QWidget);
  auto* toolbar = new QToolBar;
  toolbar->setFixedHeight(28);
  window.addToolBar(toolbar);
  window.setFrame(QRect(100, 100, 960, 680));
  EXPECT_EQ(window.geometry(), QRect(100, 100, 960, 680));
}

TEST(ReadingWindow, KeepsItsMinimumsAtLeastTheReadingSize) {
  Window w;
  ReadingWindow& window = w.window;
  window.setFrameMinimumSize(QSize(0, 0));
  EXPECT_EQ(window.frameMinimumSize(), QSize(960, 668));
  window.setFrameMinimumSize(QSize(1000, 600));
  EXPECT_EQ(window.frameMinimumSize(), QSize(1000, 668));
  EXPECT_EQ(window.width(), 1000);
  window.setContentMinimumSize(QSize(100, 100));
  EXPECT_EQ(window.contentMinimumSize(), QSize(960, 640));
  // A window without a central widget has no chrome.
  ReadingWindow bare(QRect(0, 0, 960, 680), QSize(960, 640));
  EXPECT_EQ(bare.chrome(), QSize(0, 0));
  EXPECT_EQ(bare.minimumReadingFrameSize(), QSize(960, 640));
}

// The onboarding covers a window at its smallest; signing in ends the full bleed. The
// window's size holds across both switches, the menu bar goes and comes back with the
// toolbars, and its shortcuts answer while it is hidden.
TEST(ReadingWindow, FullBleedHidesTheBarsButNotTheirRoomNorTheMenuShortcuts) {
  Window w;
  ReadingWindow& window = w.window;
  QMenu* menu = window.menuBar()->addMenu(QStringLiteral("File"));
  QAction* quit = menu->addAction(QStringLiteral("Quit"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  window.menuBar()->show();
  QSignalSpy quits(quit, &QAction::triggered);
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  const QSize chrome = window.chrome();
  ASSERT_GT(chrome.height(), 28) << "the menu bar counts";

  for (const bool atSmallest : {false, true}) {
    window.setFullBleed(true);
    EXPECT_FALSE(window.menuBar()->isVisible());
    EXPECT_EQ(window.chrome(), chrome);
    if (atSmallest)
      window.setFrame(QRect(100, 100, 10, 10));
    const QSize covered = window.size();
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits.size(), atSmallest ? 2 : 1);

    window.setFullBleed(false);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_TRUE(window.menuBar()->isVisible());
    EXPECT_EQ(window.size(), covered) << "at its smallest: " << atSmallest;
    EXPECT_EQ(window.chrome(), chrome);
    EXPECT_EQ(window.actions().size(), 0) << "the shortcuts went back to the menu";
  }
}

TEST(ReadingWindow, GivesItsSurfaceBackWhileHiddenAndShowsWholeAgain) {
  ReadingWindow window(QRect(40, 40, 960, 680), QSize(960, 640));
  auto* content = new QWidget;
  content->setAutoFillBackground(true);
  QPalette palette = content->palette();
  palette.setColor(QPalette::Window, QColor(20, 120, 90));
  content->setPalette(palette);
  window.setCentralWidget(content);
  const auto surfaceArea = [&] {
    const QSize size = window.backingStore() ? window.backingStore()->size() : QSize();
    return size.width() * size.height();
  };
  const auto shown = [&] {
    // What the window system would show: the surface itself, not a fresh paint.
    return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage();
  };

  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::qWait(50);
  const QImage before = shown();
  EXPECT_GE(surfaceArea(), 960 * 680);

  window.hide();
  EXPECT_LE(surfaceArea(), 1) << "a hidden window keeps no surface";

  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_TRUE(QTest::qWaitFor([&] { return surfaceArea() >= 960 * 680; }, 2000));
  QTest::qWait(50);
  const QImage after = shown();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after, before) << "shown again, the whole window is painted";
  EXPECT_EQ(after.pixelColor(after.rect().center()), QColor(20, 120, 90));
}
