#include "panel/DropPanel.h"
#include "panel/PresentationPolicy.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace brindlewick;

TEST(PresentationRequest, IsBuiltOnlyFromItsExactRawValues) {
  EXPECT_EQ(presentationRequestFromRawValue(u"manual"), PresentationRequest::manual);
  EXPECT_EQ(presentationRequestFromRawValue(u"automaticProbe"), PresentationRequest::automaticProbe);
  for (const char16_t* other : {u"", u"Manual", u"automaticprobe", u" manual"})
    EXPECT_EQ(presentationRequestFromRawValue(QStringView(other)), std::nullopt)
        << QString::fromUtf16(other).toStdString();
}

// Only full screen keeps an automatic panel away (the controller's tests show the rest).
TEST(PresentationPolicy, HidingTheDockOrMenuBarIsNoFullScreen) {
  using namespace PresentationOptions;
  EXPECT_TRUE(PresentationPolicy::allows(PresentationRequest::automaticProbe,
                                         autoHideDock | hideDock | autoHideMenuBar | hideMenuBar));
  EXPECT_FALSE(PresentationPolicy::allows(PresentationRequest::automaticProbe, fullScreen | autoHideDock));
}

namespace {

struct ShownPanel {
  DropPanel panel;
  int escapes = 0;

  ShownPanel() {
    panel.setOnEscape([this] { ++escapes; });
    panel.setGeometry(100, 100, 420, 196);
    panel.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&panel));
  }
};

bool sendEscape(QWidget* target, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, modifiers);
  press.setAccepted(false);
  QApplication::sendEvent(target, &press);
  return press.isAccepted();
}

} // namespace

TEST(DropPanel, StaysOnTopWithoutFrameAndTakesFocusOnlyWhenItMay) {
  ShownPanel shown;
  DropPanel& panel = shown.panel;
  EXPECT_FALSE(panel.canBecomeKey());
  // The offscreen platform activates every window it shows, so the refusal is tested with
  // another window in front: asking the panel to activate leaves that window focused.
  QWidget front;
  front.setGeometry(600, 400, 200, 100);
  front.show();
  front.activateWindow();
  QApplication::processEvents();
  ASSERT_EQ(QGuiApplication::focusWindow(), front.windowHandle());
  panel.activateWindow();
  QApplication::processEvents();
  EXPECT_EQ(QGuiApplication::focusWindow(), front.windowHandle());

  // Once it may take focus, it can; the change is made on the shown window, which stays up.
  panel.setAcceptsKeyboardFocus(true);
  EXPECT_TRUE(panel.isVisible());
  EXPECT_TRUE(panel.canBecomeKey());
  const Qt::WindowFlags kept = panel.windowHandle()->flags();
  EXPECT_TRUE(kept.testFlag(Qt::WindowStaysOnTopHint) && kept.testFlag(Qt::FramelessWindowHint));
  panel.activateWindow();
  QApplication::processEvents();
  EXPECT_EQ(QGuiApplication::focusWindow(), panel.windowHandle());
  panel.setAcceptsKeyboardFocus(false);
  EXPECT_TRUE(panel.isVisible());
  EXPECT_TRUE(panel.windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
  EXPECT_EQ(panel.geometry(), QRect(100, 100, 420, 196));
}

TEST(DropPanel, TurnsEscapeIntoItsActionAndSwallowsIt) {
  ShownPanel shown;
  auto* content = new QLabel(QStringLiteral("content"));
  shown.panel.setContentView(content);
  EXPECT_EQ(content->geometry(), shown.panel.rect());

  EXPECT_TRUE(sendEscape(&shown.panel));
  EXPECT_EQ(shown.escapes, 1);
  // Escape in the content that the content does not handle reaches the panel.
  QTest::keyClick(content, Qt::Key_Escape);
  EXPECT_EQ(shown.escapes, 2);
  // Other keys and Escape with modifiers are not the cancel key.
  QTest::keyClick(&shown.panel, Qt::Key_A);
  EXPECT_FALSE(sendEscape(&shown.panel, Qt::ShiftModifier));
  EXPECT_EQ(shown.escapes, 2);
  // An application-wide Escape shortcut does not take the key from the panel.
  QWidget other;
  auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), &other);
  shortcut->setContext(Qt::ApplicationShortcut);
  QSignalSpy shortcutSpy(shortcut, &QShortcut::activated);
  other.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
  QTest::keyClick(&shown.panel, Qt::Key_Escape);
  EXPECT_EQ(shown.escapes, 3);
  EXPECT_EQ(shortcutSpy.count(), 0);
  // Without an action Escape does nothing, and is still not passed on.
  shown.panel.setOnEscape({});
  EXPECT_TRUE(sendEscape(&shown.panel));
  QTest::keyClick(&shown.panel, Qt::Key_Escape);
  EXPECT_EQ(shown.escapes, 3);
  EXPECT_EQ(shortcutSpy.count(), 0);
}
