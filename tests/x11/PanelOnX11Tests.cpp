#include "TestOutput.h"
#include "desktop/DesktopProbes.h"
#include "desktop/DesktopState.h"
#include "desktop/X11DesktopWatch.h"
#include "panel/PanelController.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#ifdef BRINDLEWICK_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <cstdlib>
#include <cstring>
#include <optional>

namespace brindlewick {
namespace {

constexpr int kWaitMilliseconds = 5000;

bool onX11() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}

#define SKIP_WITHOUT_X11()                                                                                   \
  if (!onX11()) {                                                                                            \
    GTEST_SKIP() << "needs an X11 display: install xvfb (xvfb-run) so that CTest runs this program "         \
                    "inside a private Xvfb server";                                                          \
  }

#ifdef BRINDLEWICK_HAVE_XCB

// Plays the window manager's part on the root window: Xvfb runs none, so the test publishes
// the active window and its state itself, as a window manager would.
class FakeWindowManager {
public:
  FakeWindowManager() {
    connection_ = xcb_connect(nullptr, nullptr);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~FakeWindowManager() { xcb_disconnect(connection_); }

  xcb_atom_t atom(const char* name) {
    auto* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
  }

  xcb_window_t createWindow() {
    const xcb_window_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 100, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_flush(connection_);
    return window;
  }

  void setActiveWindow(xcb_window_t window) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_ACTIVE_WINDOW"),
                        XCB_ATOM_WINDOW, 32, 1, &window);
    xcb_flush(connection_);
  }

  void setFullScreen(xcb_window_t window, bool fullScreen) {
    const xcb_atom_t states[] = {atom("_NET_WM_STATE_ABOVE"), atom("_NET_WM_STATE_FULLSCREEN")};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        fullScreen ? 2 : 1, states);
    xcb_flush(connection_);
  }

  // Sets or removes a workspace hint (a window's or, on the root window, the current one) and
  // waits until the server has it.
  void setDesktopHint(xcb_window_t window, const char* name, std::optional<std::uint32_t> desktop) {
    if (desktop) {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, atom(name), XCB_ATOM_CARDINAL, 32, 1,
                          &*desktop);
    } else {
      xcb_delete_property(connection_, window, atom(name));
    }
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }
  xcb_window_t root() const { return root_; }

private:
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = XCB_NONE;
};

TEST(X11DesktopWatchOnXvfb, FollowsTheActiveWindowsFullScreenStateAndTheWorkspace) {
  SKIP_WITHOUT_X11();
  FakeWindowManager manager;
  X11DesktopWatch watch;
  ASSERT_TRUE(watch.isConnected());
  EXPECT_FALSE(watch.activeWindowIsFullScreen()); // no window manager has named one yet

  QSignalSpy active(&watch, &X11DesktopWatch::activeWindowChanged);
  QSignalSpy fullScreen(&watch, &X11DesktopWatch::activeFullScreenChanged);
  QSignalSpy desktop(&watch, &X11DesktopWatch::currentDesktopChanged);

  const xcb_window_t video = manager.createWindow();
  manager.setFullScreen(video, true);
  manager.setActiveWindow(video);
  ASSERT_TRUE(fullScreen.wait(kWaitMilliseconds));
  EXPECT_EQ(fullScreen.takeFirst().at(0).toBool(), true);
  EXPECT_GE(active.count(), 1);
  EXPECT_TRUE(watch.activeWindowIsFullScreen());

  // Leaving full screen is a change of the active window's state alone.
  manager.setFullScreen(video, false);
  ASSERT_TRUE(fullScreen.wait(kWaitMilliseconds));
  EXPECT_EQ(fullScreen.takeFirst().at(0).toBool(), false);
  EXPECT_FALSE(watch.activeWindowIsFullScreen());

  // A full-screen window that is not the active one does not count.
  const xcb_window_t editor = manager.createWindow();
  manager.setFullScreen(video, true);
  manager.setActiveWindow(editor);
  ASSERT_TRUE(active.wait(kWaitMilliseconds));
  EXPECT_FALSE(watch.activeWindowIsFullScreen());

  manager.setDesktopHint(manager.root(), "_NET_CURRENT_DESKTOP", 2);
  ASSERT_TRUE(desktop.wait(kWaitMilliseconds));
}

TEST(LinuxDesktopStateOnXvfb, AsksTheWindowManagerWhichWorkspaceAWindowIsOn) {
  SKIP_WITHOUT_X11();
  FakeWindowManager manager;
  X11DesktopWatch watch;
  LinuxDesktopState state(&watch, nullptr);
  QWindow window;
  window.setGeometry(100, 100, 200, 100);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  struct Case {
    const char* name;
    std::optional<std::uint32_t> current;
    std::optional<std::uint32_t> window;
    bool onActiveSpace;
  };
  const Case cases[] = {
      {"no hint on the window", 1, std::nullopt, true},
      {"the current workspace", 1, 1, true},
      {"another workspace", 1, 0, false},
      {"every workspace", 1, 0xFFFFFFFF, true},
  };
  for (const Case& c : cases) {
    manager.setDesktopHint(manager.root(), "_NET_CURRENT_DESKTOP", c.current);
    manager.setDesktopHint(static_cast<xcb_window_t>(window.winId()), "_NET_WM_DESKTOP", c.window);
    EXPECT_EQ(state.isOnActiveSpace(window), c.onActiveSpace) << c.name;
  }
}

// Which window holds the X server's keyboard focus (what the reader types into).
xcb_window_t serverFocus() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  auto* reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
  const xcb_window_t focus = reply != nullptr ? reply->focus : XCB_NONE;
  std::free(reply);
  xcb_disconnect(connection);
  return focus;
}

#endif

// The reader works in another window; the controller shows the prototype panel at the top
// of the display with the real desktop probes. The other window must keep the focus.
TEST(PanelOnXvfb, ShowsTheFixturePanelBesideAFocusedWindowWithoutTakingFocus) {
  SKIP_WITHOUT_X11();
  QWidget editor;
  editor.setWindowTitle(QStringLiteral("Editor"));
  auto* layout = new QVBoxLayout(&editor);
  auto* field = new QLineEdit(QStringLiteral("The reader is typing here"));
  layout->addWidget(field);
  editor.setGeometry(560, 420, 800, 300);
  editor.show();
  editor.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
  field->setFocus();

  SystemScreenSource screens;
  LinuxDesktopProbes desktop;
  PanelController controller(screens, desktop.probes());
  ASSERT_TRUE(controller.show(PresentationRequest::manual, true));
  ASSERT_TRUE(QTest::qWaitFor([&] { return controller.phase() == PanelController::Phase::visible; }, 5000));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller.panel()));
  QTest::qWait(200); // let the window system settle on the final frame

  const std::optional<Rect> target =
      PanelController::targetLayoutFrame(screens, controller.contentSize(), {});
  ASSERT_TRUE(target.has_value());
  EXPECT_EQ(controller.panelFrame(), *target);
  EXPECT_EQ(controller.panel().geometry(), screens.mapping().toDesktop(*target).toRect());

  EXPECT_EQ(QGuiApplication::focusWindow(), editor.windowHandle());
  EXPECT_TRUE(editor.isActiveWindow());
  EXPECT_FALSE(controller.panel().isActiveWindow());
  EXPECT_TRUE(field->hasFocus());
#ifdef BRINDLEWICK_HAVE_XCB
  EXPECT_EQ(serverFocus(), static_cast<xcb_window_t>(editor.winId()));
#endif

  const QPixmap screenshot = QGuiApplication::primaryScreen()->grabWindow(0);
  EXPECT_TRUE(screenshot.save(testing::testOutputPath(QStringLiteral("panel-on-x11.png"))));

  controller.dismiss(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return controller.phase() == PanelController::Phase::hidden; }, 5000));
  EXPECT_EQ(QGuiApplication::focusWindow(), editor.windowHandle());
}

} // namespace
} // namespace brindlewick
