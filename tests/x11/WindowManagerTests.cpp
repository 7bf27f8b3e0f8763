// The drop panel and the reader window on a desktop as a reader has one: two monitors side by
// side and a real window manager (tests/support/with-window-manager.sh runs this program so),
// with the other applications played by windows of a second X client.
#include "TestOutput.h"
#include "app/ReaderAppDelegate.h"
#include "desktop/DesktopProbes.h"
#include "desktop/QtX11Connection.h"
#include "desktop/ScreenSource.h"
#include "desktop/X11DesktopWatch.h"
#include "desktop/X11WindowHints.h"
#include "desktop/X11Windows.h"
#include "model/FeedUpdaterRig.h"
#include "model/ReaderModelFixture.h"
#include "panel/PanelController.h"
#include "panel/ReadingWindow.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropStandardStyle.h"
#include "ui/design/UiEnvironment.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/ThisComputerSection.h"
#include "ui/update/UpdateWindow.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <csignal>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace brindlewick {
namespace {

constexpr int kWaitMilliseconds = 5000;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

// Another application on the same X server: its windows, and the requests a pager or the
// reader's hands would send.
class OtherClient {
public:
  OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    // Requests to the window manager and startup notification travel as client messages to
    // the root window.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    sync();
  }
  ~OtherClient() { xcb_disconnect(connection_); }
  OtherClient(const OtherClient&) = delete;
  OtherClient& operator=(const OtherClient&) = delete;

  xcb_atom_t atom(const char* name) { return internAtom(connection_, name); }

  bool hasWindowManager() { return !cardinals(root_, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).isEmpty(); }

  // A plain window in one colour where the window manager puts it, `frame` asked for.
  xcb_window_t openWindow(const QRect& frame, std::uint32_t colour) {
    const xcb_window_t window = xcb_generate_id(connection_);
    const std::uint32_t values[] = {colour};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, static_cast<std::int16_t>(frame.x()),
                      static_cast<std::int16_t>(frame.y()), static_cast<std::uint16_t>(frame.width()),
                      static_cast<std::uint16_t>(frame.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, values);
    // The asked-for place is the one to keep (WM_NORMAL_HINTS with a user position).
    std::uint32_t hints[18] = {};
    hints[0] = 1 | 2; // USPosition | USSize
    hints[1] = static_cast<std::uint32_t>(frame.x());
    hints[2] = static_cast<std::uint32_t>(frame.y());
    hints[3] = static_cast<std::uint32_t>(frame.width());
    hints[4] = static_cast<std::uint32_t>(frame.height());
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(connection_, window);
    sync();
    return window;
  }

  // Asks the window manager to activate `window` as a pager does, for the reader.
  void activate(xcb_window_t window) {
    sendToRoot(window, atom("_NET_ACTIVE_WINDOW"), {2, XCB_CURRENT_TIME, 0});
  }
  // Asks the window manager to minimize `window`, as a taskbar does (IconicState).
  void iconify(xcb_window_t window) { sendToRoot(window, atom("WM_CHANGE_STATE"), {3}); }
  void switchToDesktop(std::uint32_t desktop) {
    sendToRoot(root_, atom("_NET_CURRENT_DESKTOP"), {desktop, XCB_CURRENT_TIME});
  }

  // Where `window`'s top-left corner is on the screen, as the server has it now.
  QPoint origin(xcb_window_t window) {
    auto* reply = xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr);
    const QPoint at = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint(-1, -1);
    std::free(reply);
    return at;
  }
  // The managed windows from bottom to top, as the window manager stacks them.
  QList<std::uint32_t> stacking() { return cardinals(root_, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW); }
  // How often the window manager has published its stacking order so far: it does after each
  // restack, so a count that has grown since an action says it has restacked for it.
  int stackingUpdates() {
    readEvents();
    return stackingUpdates_;
  }
  // Whether the window manager has done all it was asked before now. It answers its requests
  // one after another, so once it answers a new one, the frame extents of a window it does not
  // manage, the rest is done: a workspace switch with every window it hides or shows.
  bool windowManagerCaughtUp() {
    const xcb_window_t probe = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, probe, root_, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    sendToRoot(probe, atom("_NET_REQUEST_FRAME_EXTENTS"), {});
    const bool answered =
        QTest::qWaitFor([&] { return !cardinals(probe, "_NET_FRAME_EXTENTS").isEmpty(); }, kWaitMilliseconds);
    destroy(probe);
    return answered;
  }
  xcb_window_t activeWindow() {
    const QList<std::uint32_t> values = cardinals(root_, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
    return values.isEmpty() ? xcb_window_t(XCB_NONE) : values.front();
  }
  QList<std::uint32_t> cardinals(xcb_window_t window, const char* property,
                                 xcb_atom_t type = XCB_ATOM_CARDINAL) {
    QList<std::uint32_t> values;
    auto* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, atom(property), type, 0, 64), nullptr);
    if (reply != nullptr && reply->format == 32) {
      const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
      values = QList<std::uint32_t>(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
  }
  bool isViewable(xcb_window_t window) {
    auto* reply =
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr);
    const bool viewable = reply != nullptr && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
  }

  // A press and release of `button` at `point` (root coordinates), made by the server's test
  // device as a reader's hand would make it.
  void click(QPoint point, std::uint8_t button) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                        static_cast<std::int16_t>(point.x()), static_cast<std::int16_t>(point.y()), 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
  }

  // A press of `key` while `modifier` is held, made by the server's test device as the reader's
  // fingers would make it (both are keysyms). The modifier comes up while the key is still down:
  // the window manager's grab of the chord lasts as long as the key is down, so the release that
  // ends its switcher is its own however late it gets round to the press. (Released after the
  // key, it went to the focused window whenever the manager had not yet taken the keyboard, and
  // the switcher stayed open.)
  void pressChord(std::uint32_t modifier, std::uint32_t key) {
    const xcb_keycode_t held = keycodeOf(modifier);
    const xcb_keycode_t pressed = keycodeOf(key);
    const std::pair<std::uint8_t, xcb_keycode_t> steps[] = {
        {XCB_KEY_PRESS, held}, {XCB_KEY_PRESS, pressed}, {XCB_KEY_RELEASE, held}, {XCB_KEY_RELEASE, pressed}};
    for (const auto& [type, keycode] : steps)
      xcb_test_fake_input(connection_, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
  }

  // Asks the window manager to add `state` to a window's state, as a pager does.
  void addState(xcb_window_t window, const char* state) {
    sendToRoot(window, atom("_NET_WM_STATE"), {1, atom(state), 0, 2});
  }

  // The server's time now, as a property change stamps it.
  std::uint32_t serverTime() {
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, root_, atom("BRINDLEWICK_TEST_TIME"),
                        XCB_ATOM_STRING, 8, 0, nullptr);
    readEvents();
    return lastPropertyTime_;
  }

  // The startup-notification messages seen on the root window so far, each joined from its
  // chunks.
  QList<QByteArray> startupMessages() {
    readEvents();
    return startup_;
  }

  // The activation requests sent to the window manager so far.
  struct Activation {
    xcb_window_t window;
    std::uint32_t source;
    std::uint32_t time;
    friend bool operator==(const Activation&, const Activation&) = default;
  };
  QList<Activation> activations() {
    readEvents();
    return activations_;
  }

  void destroy(xcb_window_t window) {
    xcb_destroy_window(connection_, window);
    sync();
  }

  // The time of the reader's last action in `window` as the window says it to the window
  // manager (on the separate window it names for that, where it has one); 0 asks not to be
  // given the focus when mapped.
  std::optional<std::uint32_t> userTime(xcb_window_t window) {
    const QList<std::uint32_t> timeWindow = cardinals(window, "_NET_WM_USER_TIME_WINDOW", XCB_ATOM_WINDOW);
    const QList<std::uint32_t> time =
        cardinals(timeWindow.isEmpty() ? window : timeWindow.front(), "_NET_WM_USER_TIME");
    return time.isEmpty() ? std::nullopt : std::optional<std::uint32_t>(time.front());
  }

private:
  xcb_keycode_t keycodeOf(std::uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* reply = xcb_get_keyboard_mapping_reply(
        connection_,
        xcb_get_keyboard_mapping(connection_, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr);
    xcb_keycode_t found = 0;
    if (reply != nullptr) {
      const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(reply);
      for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(reply) && found == 0; ++i)
        if (symbols[i] == keysym)
          found = static_cast<xcb_keycode_t>(setup->min_keycode + i / reply->keysyms_per_keycode);
    }
    std::free(reply);
    return found;
  }
  void sendToRoot(xcb_window_t window, xcb_atom_t type, std::initializer_list<std::uint32_t> data) {
    xcb_client_message_event_t message;
    std::memset(&message, 0, sizeof message);
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    sync();
  }
  // Whatever the server sent so far: property changes of the root window, and the client
  // messages sent to it (which reach every client that watches its substructure or, for
  // startup notification, its properties).
  void readEvents() {
    sync();
    const xcb_atom_t begin = atom("_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom("_NET_STARTUP_INFO");
    const xcb_atom_t activate = atom("_NET_ACTIVE_WINDOW");
    const xcb_atom_t stackingOrder = atom("_NET_CLIENT_LIST_STACKING");
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      const auto type = event->response_type & 0x7f;
      if (type == XCB_PROPERTY_NOTIFY) {
        const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        lastPropertyTime_ = change->time;
        if (change->atom == stackingOrder)
          ++stackingUpdates_;
      } else if (type == XCB_CLIENT_MESSAGE) {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (message->format == 32 && message->type == activate) {
          activations_.append({message->window, message->data.data32[0], message->data.data32[1]});
        } else if (message->format == 8 && (message->type == begin || message->type == more)) {
          if (message->type == begin)
            pending_.clear();
          const char* data = reinterpret_cast<const char*>(message->data.data8);
          const qsizetype length = qstrnlen(data, 20);
          pending_.append(data, length);
          if (length < 20)
            startup_.append(std::exchange(pending_, {}));
        }
      }
      std::free(event);
    }
  }
  void sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_connection_t* connection_;
  xcb_window_t root_ = XCB_NONE;
  std::uint32_t lastPropertyTime_ = 0;
  int stackingUpdates_ = 0;
  QList<QByteArray> startup_;
  QByteArray pending_;
  QList<Activation> activations_;
};

// Every test needs both monitors and the window manager; without them it says why and skips.
class WindowManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
      GTEST_SKIP() << "needs an X11 display: tests/support/with-window-manager.sh runs this program on one";
    if (QGuiApplication::screens().size() < 2)
      GTEST_SKIP() << "needs two monitors side by side (Xvfb with RandR monitors, set by xrandr)";
    client_.emplace();
    if (!client_->hasWindowManager())
      GTEST_SKIP() << "needs a window manager (openbox) on the display";
  }

  QRect screenGeometry(int index) const { return QGuiApplication::screens().at(index)->geometry(); }
  static xcb_window_t idOf(const QWidget& widget) { return static_cast<xcb_window_t>(widget.winId()); }

  std::optional<OtherClient> client_;
};

bool waitFor(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, kWaitMilliseconds);
}

// The two monitors as one picture, the way the reader sees them side by side.
QImage wholeDesktop() {
  const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
  QImage image(desktop.size(), QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setPen(QColor(0x80, 0x80, 0x80));
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->geometry().translated(-desktop.topLeft());
    painter.drawPixmap(area.topLeft(), screen->grabWindow(0));
    painter.drawRect(area.adjusted(0, 0, -1, -1)); // where one monitor ends and the next begins
  }
  return image;
}

TEST_F(WindowManagerTest, AnAutomaticDropGoesToTheMonitorOfTheActiveWindowWhoeverOwnsIt) {
  LinuxDesktopProbes desktop;
  const SystemScreenSource screens(desktop.x11());
  PanelController controller(screens, desktop.probes());

  struct Case {
    const char* name;
    int monitor;
  };
  const Case cases[] = {{"an editor on the second monitor", 1}, {"a browser on the first monitor", 0}};
  for (const Case& c : cases) {
    const QRect monitor = screenGeometry(c.monitor);
    const xcb_window_t editor =
        client_->openWindow(QRect(monitor.topLeft() + QPoint(120, 220), QSize(640, 400)), 0x2f4f6f);
    client_->activate(editor);
    ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == editor; })) << c.name;
    ASSERT_TRUE(waitFor([&] { return screens.mainIndex() == c.monitor; })) << c.name;

    ASSERT_TRUE(controller.show(PresentationRequest::automaticProbe, false)) << c.name;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller.panel())) << c.name;
    const std::optional<Rect> target =
        PanelController::targetLayoutFrame(screens, controller.contentSize(), {});
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(controller.panelFrame(), *target) << c.name;
    // The window manager confirms the mapped window's place a moment after it is exposed.
    EXPECT_TRUE(waitFor([&] { return monitor.contains(controller.panel().geometry()); })) << c.name;
    // The drop leaves the reader's window the active one.
    EXPECT_EQ(client_->activeWindow(), editor) << c.name;

    if (c.monitor == 1) {
      QTest::qWait(200); // let the server draw the panel's last frame
      EXPECT_TRUE(wholeDesktop().save(testing::testOutputPath(QStringLiteral("panel-second-monitor.png"))));
    }
    controller.dismiss(false);
    client_->destroy(editor);
  }
}

// An update found by a scheduled check appears where the reader works without taking the
// keyboard from the application they type in: over the reader window while it is open, else
// centred on the monitor of the active window. Once the reader comes into it, it is on
// "Install update" and Return installs.
TEST_F(WindowManagerTest, AScheduledUpdateOfferAppearsWhereTheReaderWorksWithoutTakingTheFocus) {
  DropFonts::registerFonts();
  LinuxDesktopProbes desktop;
  const SystemScreenSource screens(desktop.x11());
  const struct {
    const char* name;
    int editorMonitor;
    std::optional<int> readerMonitor; // none: the reader window is not open
  } rows[] = {
      {"the reader window open on the second monitor", 0, 1},
      {"no reader window, an editor on the second monitor", 1, std::nullopt},
      {"no reader window, an editor on the first monitor", 0, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget readerWindow;
    if (row.readerMonitor) {
      readerWindow.setAttribute(Qt::WA_ShowWithoutActivating);
      readerWindow.resize(900, 600);
      readerWindow.move(screenGeometry(*row.readerMonitor).topLeft() + QPoint(40, 60));
      readerWindow.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&readerWindow));
    }
    const QRect editorMonitor = screenGeometry(row.editorMonitor);
    const xcb_window_t editor =
        client_->openWindow(QRect(editorMonitor.topLeft() + QPoint(80, 120), QSize(640, 400)), 0x2f4f6f);
    client_->activate(editor);
    ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == editor; }));
    ASSERT_TRUE(waitFor([&] { return screens.mainIndex() == row.editorMonitor; }));

    FeedUpdaterRig rig;
    const auto updater = rig.make();
    UpdateWindow window(*updater, {.readerWindow = [&]() -> const QWidget* {
                                     return row.readerMonitor ? &readerWindow : nullptr;
                                   },
                                   .screens = &screens});
    rig.harness.advance(FeedUpdater::firstCheckDelay);
    ASSERT_TRUE(waitFor([&] { return window.isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(300); // time for a window manager to hand the focus over, were it to
    EXPECT_EQ(client_->activeWindow(), editor);
    EXPECT_FALSE(window.isActiveWindow());
    const QPoint expected =
        row.readerMonitor ? readerWindow.frameGeometry().center()
                          : QGuiApplication::screens().at(row.editorMonitor)->availableGeometry().center();
    EXPECT_TRUE(waitFor([&] { return (window.frameGeometry().center() - expected).manhattanLength() <= 24; }))
        << window.frameGeometry().x() << "," << window.frameGeometry().y();
    if (row.readerMonitor) {
      EXPECT_TRUE(
          wholeDesktop().save(testing::testOutputPath(QStringLiteral("update-scheduled-over-reader.png"))));
    }

    // The reader comes in with a click on the offer's headline.
    const auto* headline = window.findChild<QWidget*>(QStringLiteral("update.headline"));
    ASSERT_NE(headline, nullptr);
    client_->click(headline->mapToGlobal(headline->rect().center()), 1);
    ASSERT_TRUE(waitFor([&] { return window.isActiveWindow(); }));
    EXPECT_TRUE(waitFor([&] {
      return window.installButton()->hasFocus() && window.installButton()->controlState().focus == 1.0;
    }));
    QTest::keyClick(window.windowHandle(), Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return window.page() == UpdateWindow::Page::message; }));
    EXPECT_EQ(rig.installed.size(), 1);
    window.close();
    client_->destroy(editor);
  }
}

// Shown both ways, the window tells the window manager each time whether it wants the focus:
// a scheduled offer after the answer to a check the reader asked for still leaves the focus
// where it is (a user time of 0), and the answer after a scheduled offer asks for it.
TEST_F(WindowManagerTest, TheUpdateWindowAsksForTheFocusOnlyWhenTheReaderAsked) {
  const struct {
    const char* name;
    bool firstAskedByReader;
  } rows[] = {{"a scheduled offer after a check", true}, {"a check after a scheduled offer", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    const auto updater = rig.make();
    UpdateWindow window(*updater);
    for (const bool askedByReader : {row.firstAskedByReader, !row.firstAskedByReader}) {
      if (askedByReader)
        updater->checkForUpdates();
      else
        rig.harness.advance(row.firstAskedByReader ? FeedUpdater::checkInterval
                                                   : FeedUpdater::firstCheckDelay);
      ASSERT_TRUE(waitFor([&] { return window.isVisible() && updater->canCheckForUpdates(); }));
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
      const std::optional<std::uint32_t> time = client_->userTime(idOf(window));
      ASSERT_TRUE(time.has_value());
      EXPECT_EQ(*time == 0, !askedByReader) << (askedByReader ? "asked" : "scheduled");
      window.close();
    }
  }
}

TEST_F(WindowManagerTest, ThePanelStaysInViewWhenTheReaderSwitchesWorkspace) {
  LinuxDesktopProbes desktop;
  const SystemScreenSource screens(desktop.x11());
  PanelController controller(screens, desktop.probes());
  // A window of the first workspace, to see that the switch happened.
  const xcb_window_t editor = client_->openWindow(QRect(200, 300, 500, 300), 0x5f3f2f);
  ASSERT_TRUE(waitFor([&] { return client_->isViewable(editor); }));

  // Shown twice: the window manager forgets a window's state when the panel is hidden.
  for (int round = 0; round < 2; ++round) {
    client_->switchToDesktop(0);
    ASSERT_TRUE(waitFor([&] { return client_->isViewable(editor); })) << round;
    ASSERT_TRUE(controller.show(PresentationRequest::automaticProbe, false)) << round;
    const xcb_window_t panel = idOf(controller.panel());
    ASSERT_TRUE(waitFor([&] { return client_->isViewable(panel); })) << round;
    // The window manager's own record: on every workspace.
    EXPECT_EQ(client_->cardinals(panel, "_NET_WM_DESKTOP"), QList<std::uint32_t>{kAllDesktops}) << round;

    QSignalSpy switched(desktop.x11(), &X11DesktopWatch::currentDesktopChanged);
    client_->switchToDesktop(1 + round);
    ASSERT_TRUE(waitFor([&] { return !client_->isViewable(editor); })) << round;
    // The editor hidden says that the switch has begun, not that every window has been seen
    // to: it is over once the window manager has caught up, and the application has heard of it.
    ASSERT_TRUE(client_->windowManagerCaughtUp()) << round;
    ASSERT_TRUE(waitFor([&] { return !switched.isEmpty(); })) << round;
    EXPECT_TRUE(client_->isViewable(panel)) << round;
    EXPECT_TRUE(controller.panel().isVisible()) << round;
    controller.dismiss(false);
  }
  client_->switchToDesktop(0);
  client_->destroy(editor);
}

// A drop dismissed and another shown at once, before the window manager has seen the panel
// hidden (held back here, as a busy one is): it must still put the panel on every workspace.
TEST_F(WindowManagerTest, APanelShownAgainBeforeTheWindowManagerSawItHiddenIsOnEveryWorkspace) {
  const pid_t windowManager = qEnvironmentVariableIntValue("BRINDLEWICK_WINDOW_MANAGER_PID");
  ASSERT_GT(windowManager, 0) << "run under tests/support/with-window-manager.sh";
  LinuxDesktopProbes desktop;
  const SystemScreenSource screens(desktop.x11());
  PanelController controller(screens, desktop.probes());
  ASSERT_TRUE(controller.show(PresentationRequest::automaticProbe, false));
  const xcb_window_t panel = idOf(controller.panel());
  ASSERT_TRUE(waitFor([&] {
    return client_->isViewable(panel) &&
           client_->cardinals(panel, "_NET_WM_DESKTOP") == QList<std::uint32_t>{kAllDesktops};
  }));
  {
    ::kill(windowManager, SIGSTOP);
    const auto resume = qScopeGuard([windowManager] { ::kill(windowManager, SIGCONT); });
    controller.dismiss(false);
    ASSERT_TRUE(controller.show(PresentationRequest::automaticProbe, false));
    QTest::qWait(100); // everything the application does meanwhile
  }
  ASSERT_TRUE(waitFor([&] { return client_->isViewable(panel); }));
  ASSERT_TRUE(client_->windowManagerCaughtUp());
  EXPECT_TRUE(waitFor([&] {
    return client_->cardinals(panel, "_NET_WM_DESKTOP") == QList<std::uint32_t>{kAllDesktops};
  })) << "on workspace "
      << client_->cardinals(panel, "_NET_WM_DESKTOP").value(0);
  EXPECT_TRUE(waitFor([&] {
    return client_->cardinals(panel, "_NET_WM_STATE", XCB_ATOM_ATOM)
        .contains(client_->atom("_NET_WM_STATE_SKIP_TASKBAR"));
  })) << "in the taskbar";
  controller.dismiss(false);
}

// What the panel asks of any window manager before it is mapped. (openbox keeps the workspace
// number and drops the sticky state, which it does not support, once it manages the window.)
TEST_F(WindowManagerTest, AWindowAsksForEveryWorkspaceKeepingTheStatesItHas) {
  QWindow window;
  window.setFlag(Qt::WindowStaysOnTopHint);
  window.create();
  const auto id = static_cast<xcb_window_t>(window.winId());
  const std::uint32_t above = client_->atom("_NET_WM_STATE_ABOVE");
  const std::uint32_t sticky = client_->atom("_NET_WM_STATE_STICKY");
  const std::uint32_t skipTaskbar = client_->atom("_NET_WM_STATE_SKIP_TASKBAR");
  const std::uint32_t skipPager = client_->atom("_NET_WM_STATE_SKIP_PAGER");
  xcb_connection_t* qt = QtX11Connection::get();
  ASSERT_NE(qt, nullptr);
  xcb_change_property(qt, XCB_PROP_MODE_REPLACE, id, QtX11Connection::atom("_NET_WM_STATE"), XCB_ATOM_ATOM,
                      32, 1, &above);
  // Asked again before a second showing, the state is not repeated.
  for (int time = 0; time < 2; ++time) {
    X11WindowHints::showOnAllWorkspaces(window);
    X11WindowHints::leaveOutOfTaskbars(window);
    EXPECT_EQ(client_->cardinals(id, "_NET_WM_DESKTOP"), QList<std::uint32_t>{kAllDesktops}) << time;
    EXPECT_EQ(client_->cardinals(id, "_NET_WM_STATE", XCB_ATOM_ATOM),
              (QList<std::uint32_t>{above, sticky, skipTaskbar, skipPager}))
        << time;
  }
}

// The teaser and the card never take the keyboard: no taskbar, pager or window switcher offers
// them as a window to go to, and they still stay above others on every workspace without taking
// the focus, also when shown again at once after a dismissal.
TEST_F(WindowManagerTest, ThePanelIsNoTaskToSwitchToYetStaysAboveOnEveryWorkspaceWithoutFocus) {
  constexpr std::uint32_t altKey = 0xffe9; // Alt_L
  constexpr std::uint32_t tabKey = 0xff09; // Tab
  LinuxDesktopProbes desktop;
  const SystemScreenSource screens(desktop.x11());
  PanelController controller(screens, desktop.probes());
  const std::uint32_t skipTaskbar = client_->atom("_NET_WM_STATE_SKIP_TASKBAR");
  const std::uint32_t skipPager = client_->atom("_NET_WM_STATE_SKIP_PAGER");
  const std::uint32_t above = client_->atom("_NET_WM_STATE_ABOVE");
  // The reader works in one window and switches to the other with Alt+Tab.
  const xcb_window_t mail = client_->openWindow(QRect(700, 350, 400, 300), 0x3f3f5f);
  const xcb_window_t editor = client_->openWindow(QRect(100, 300, 500, 300), 0x5f3f3f);

  struct Showing {
    const char* name;
    PresentationRequest request;
    bool straightAfterADismissal;
  };
  const Showing showings[] = {
      {"the teaser", PresentationRequest::automaticProbe, false},
      {"the card", PresentationRequest::manual, false},
      {"the card again at once", PresentationRequest::manual, true},
  };
  for (const Showing& showing : showings) {
    SCOPED_TRACE(showing.name);
    client_->activate(editor);
    ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == editor; }));
    if (showing.straightAfterADismissal)
      controller.dismiss(false);
    ASSERT_TRUE(controller.show(showing.request, false));
    const xcb_window_t panel = idOf(controller.panel());
    ASSERT_TRUE(waitFor([&] { return client_->isViewable(panel); }));
    // The window manager's own record of the mapped window.
    EXPECT_TRUE(waitFor([&] {
      const QList<std::uint32_t> states = client_->cardinals(panel, "_NET_WM_STATE", XCB_ATOM_ATOM);
      return states.contains(skipTaskbar) && states.contains(skipPager) && states.contains(above);
    })) << "state: "
        << ::testing::PrintToString(client_->cardinals(panel, "_NET_WM_STATE", XCB_ATOM_ATOM));
    EXPECT_EQ(client_->cardinals(panel, "_NET_WM_DESKTOP"), QList<std::uint32_t>{kAllDesktops});
    EXPECT_EQ(client_->activeWindow(), editor) << "the panel took the focus";

    // The switcher goes from the editor to the other window, not to the panel.
    client_->pressChord(altKey, tabKey);
    EXPECT_TRUE(waitFor([&] { return client_->activeWindow() == mail; }))
        << "active: " << client_->activeWindow() << ", panel: " << panel;
    EXPECT_TRUE(controller.panel().isVisible());
    if (!showing.straightAfterADismissal)
      controller.dismiss(false);
  }
  controller.dismiss(false);
  client_->destroy(editor);
  client_->destroy(mail);
}

// A window the window manager already manages asks it to leave the window out of taskbars: a
// property written by the application would be lost at the manager's next change of the state.
TEST_F(WindowManagerTest, AManagedWindowIsLeftOutOfTaskbarsByTheWindowManager) {
  QWindow window;
  window.setGeometry(200, 200, 300, 200);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const auto id = static_cast<xcb_window_t>(window.winId());
  ASSERT_TRUE(
      waitFor([&] { return !client_->cardinals(id, "WM_STATE", client_->atom("WM_STATE")).isEmpty(); }));

  X11WindowHints::leaveOutOfTaskbars(window);
  // The manager changes the state once more, writing it out from its own record.
  client_->addState(id, "_NET_WM_STATE_BELOW");
  const std::uint32_t below = client_->atom("_NET_WM_STATE_BELOW");
  ASSERT_TRUE(
      waitFor([&] { return client_->cardinals(id, "_NET_WM_STATE", XCB_ATOM_ATOM).contains(below); }));
  const QList<std::uint32_t> states = client_->cardinals(id, "_NET_WM_STATE", XCB_ATOM_ATOM);
  EXPECT_TRUE(states.contains(client_->atom("_NET_WM_STATE_SKIP_TASKBAR")));
  EXPECT_TRUE(states.contains(client_->atom("_NET_WM_STATE_SKIP_PAGER")));
}

TEST_F(WindowManagerTest, PressesInOtherApplicationsReachThePanelThroughTheDesktopMonitor) {
  LinuxDesktopProbes desktop;
  const SystemScreenSource screens(desktop.x11());
  PanelController controller(screens, desktop.probes());
  int outside = 0;
  controller.setOnOutsideClick([&outside] { ++outside; });
  OutsidePressMonitor* monitor = desktop.probes().outsidePresses;
  EXPECT_FALSE(monitor->isWatching()); // nothing is asked of the server while no panel is up

  const xcb_window_t editor = client_->openWindow(QRect(100, 300, 500, 300), 0x3f5f3f);
  ASSERT_TRUE(waitFor([&] { return client_->isViewable(editor); }));
  ASSERT_TRUE(controller.show(PresentationRequest::manual, false));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller.panel()));
  EXPECT_TRUE(monitor->isWatching());

  struct Press {
    const char* name;
    QPoint at;
    std::uint8_t button;
    int outsideAfter;
  };
  const QPoint inPanel = controller.panel().geometry().center();
  const QPoint inEditor(350, 450);
  const Press presses[] = {
      {"left in the panel", inPanel, 1, 0},
      {"left in the other application", inEditor, 1, 1},
      {"middle in the other application", inEditor, 2, 1},
      {"right in the other application", inEditor, 3, 2},
  };
  for (const Press& press : presses) {
    client_->click(press.at, press.button);
    // A press that does not count can only be told by waiting as long as one that does.
    static_cast<void>(QTest::qWaitFor([&] { return outside == press.outsideAfter + 1; }, 400));
    EXPECT_EQ(outside, press.outsideAfter) << press.name;
  }

  controller.dismiss(false);
  EXPECT_FALSE(monitor->isWatching());
  client_->click(inEditor, 1);
  QTest::qWait(300);
  EXPECT_EQ(outside, 2);
  client_->destroy(editor);
}

ReaderAppDelegate::Options windowOnlyOptions(const QString& defaultsFile) {
  ReaderAppDelegate::Options options;
  options.applicationDefaultsFile = defaultsFile;
  options.alert = [](const QString&, const QString&) {};
  options.openUrl = [](const QUrl&) {};
  options.statusItem = false;
  return options;
}

// The reader window as the application opens it for a signed-in reader, launched, with an
// updater of its own whose feed offers a release.
struct ReaderWithUpdater {
  ReaderWithUpdater() { delegate.launch(); }

  FeedUpdaterRig rig;
  ReaderModelFixture fixture;
  ReaderModel& model = (rig.configure(fixture), fixture.signIn(), fixture.open());
  ReaderAppDelegate delegate{&model, std::nullopt, windowOnlyOptions(fixture.applicationDefaultsFile())};
};

// A second launch brings forward what the first shows, with the time of the reader's own action
// in its startup id, and ends its launch feedback: the reader window, or the start-up alert of a
// start that failed, which serves the launch while it waits for its answer.
TEST_F(WindowManagerTest, ASecondLaunchBringsForwardWhatTheFirstShowsAndEndsItsLaunchFeedback) {
  for (const bool failed : {false, true}) {
    SCOPED_TRACE(failed ? "the start-up alert" : "the reader window");
    ReaderModelFixture fixture;
    fixture.signIn();
    ReaderAppDelegate::Options options = windowOnlyOptions(fixture.applicationDefaultsFile());
    std::unique_ptr<ReaderAppDelegate> delegate;
    // `hand` gives the launch to the first start.
    const auto secondLaunch = [&](QWidget& shown, const std::function<void(const LaunchRequest&)>& hand) {
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown));
      const xcb_window_t first = idOf(shown);

      // The reader goes on in another application and clicks in it: a window manager that
      // prevents focus stealing keeps back windows that ask with an older time than that click.
      const xcb_window_t editor = client_->openWindow(QRect(300, 200, 700, 500), 0x4f4f4f);
      const auto closeEditor = qScopeGuard([&] { client_->destroy(editor); });
      client_->activate(editor);
      ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == editor; }));
      client_->click(QPoint(600, 500), 1);

      // Then they start Brindlewick again from the launcher, which stamped the start with the
      // time of their click.
      const std::uint32_t launchTime = client_->serverTime();
      LaunchRequest request;
      request.startupId = QStringLiteral("launcher-4321-host-brindlewick-0_TIME%1").arg(launchTime);
      hand(request);

      EXPECT_TRUE(waitFor([&] { return client_->activeWindow() == first; }));
      // Asked for by the application itself (source 1), with the time of the launch.
      EXPECT_TRUE(client_->activations().contains(OtherClient::Activation{first, 1, launchTime}));
      EXPECT_TRUE(waitFor([&] {
        return client_->startupMessages().contains(QByteArrayLiteral("remove: ID=") + request.startupId.toUtf8());
      }));
    };
    if (failed) {
      // The alert as the application shows it, the launch served while it is on screen.
      int alerts = 0;
      options.alert = [&](const QString& title, const QString& text) {
        ++alerts;
        const std::unique_ptr<QMessageBox> alert = ReaderAppDelegate::makeAlert(title, text);
        alert->setWindowModality(Qt::ApplicationModal);
        alert->show();
        secondLaunch(*alert, [&](const LaunchRequest& request) {
          EXPECT_TRUE(delegate->bringStartupAlertForward(request));
        });
      };
      delegate = std::make_unique<ReaderAppDelegate>(
          nullptr, ReaderAppDelegate::startupErrorText(QStringLiteral("The store is not a database.")), options);
      delegate->launch();
      EXPECT_EQ(alerts, 1);
      continue;
    }
    delegate = std::make_unique<ReaderAppDelegate>(&fixture.open(), std::nullopt, options);
    delegate->launch();
    ReadingWindow& reader = *delegate->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&reader));
    // Unlike the panel, the reader window is a task: taskbars and the window switcher offer it.
    const QList<std::uint32_t> states = client_->cardinals(idOf(reader), "_NET_WM_STATE", XCB_ATOM_ATOM);
    EXPECT_FALSE(states.contains(client_->atom("_NET_WM_STATE_SKIP_TASKBAR")) ||
                 states.contains(client_->atom("_NET_WM_STATE_SKIP_PAGER")));
    secondLaunch(reader, [&](const LaunchRequest& request) { delegate->handle(request); });
  }
}

// The About box of a window the window manager minimizes stays with it, and shows again when the
// window comes back; only a window the program hides takes the box with it.
TEST_F(WindowManagerTest, TheAboutBoxStaysWithItsWindowWhenTheWindowManagerMinimizesIt) {
  ReaderWithUpdater launched;
  ReadingWindow& window = *launched.delegate.window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QMenuBar* bar = window.menuBar();
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                    bar->mapTo(&window, bar->actionGeometry(bar->actions().constFirst()).center()));
  QMenu* menu = nullptr;
  ASSERT_TRUE(waitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
  for (QAction* action : menu->actions())
    if (action->text() == QLatin1String("About Brindlewick"))
      QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, {}, menu->actionGeometry(action).center());
  QPointer<QMessageBox> box;
  ASSERT_TRUE(waitFor([&] {
    const QList<QMessageBox*> boxes = window.findChildren<QMessageBox*>();
    box = boxes.size() == 1 ? boxes.first() : nullptr;
    return box && box->isVisible();
  }));

  // Asked again while the window is not minimized: a window manager busy with the box that has
  // just mapped may pass over a request that comes meanwhile.
  ASSERT_TRUE(waitFor([&] {
    if (window.isMinimized())
      return true;
    client_->iconify(idOf(window));
    return false;
  })) << "not minimized";
  QTest::qWait(300); // whatever the hide leads to
  ASSERT_FALSE(box.isNull()) << "the box went with its minimized window";
  client_->activate(idOf(window));
  EXPECT_TRUE(waitFor([&] { return window.isVisible() && !window.isMinimized() && box && box->isVisible(); }));
}

// "Check for updates" pressed in the reader window: the answer opens over that window, on its
// monitor, not where the window manager finds room, every time: the first time, after a
// scheduled offer the reader put off, and while a scheduled offer still stands on the other
// monitor. Round after round, on either monitor.
TEST_F(WindowManagerTest, TheAnswerToACheckOpensOverTheReaderWindowOnItsMonitorEveryTime) {
  DropFonts::registerFonts();
  ReaderWithUpdater launched;
  FeedUpdaterRig& rig = launched.rig;
  ReaderAppDelegate& delegate = launched.delegate;
  QWidget* reader = delegate.window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(reader));
  // Moved, and where the server has it the reader's pointer finds it.
  const auto moveReaderTo = [&](int index) {
    const QRect monitor = screenGeometry(index);
    reader->move(monitor.topLeft() + QPoint(16, 8));
    return waitFor([&] {
      return monitor.contains(reader->frameGeometry().center()) &&
             client_->origin(idOf(*reader)) == reader->mapToGlobal(QPoint());
    });
  };
  ASSERT_TRUE(moveReaderTo(1));
  delegate.open(ReaderTab::settings);
  SettingsView* settings = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (SettingsView* page : reader->findChildren<SettingsView*>())
      if (page->isVisible())
        settings = page;
    return settings != nullptr;
  }));
  DropButton* check = settings->thisComputer()->checkForUpdates();
  // Laid out: the button sits at the foot of the page.
  ASSERT_TRUE(waitFor([&] { return check->mapTo(settings, QPoint()).y() > reader->height(); }));
  auto* workspace = reader->findChild<QAbstractScrollArea*>(QStringLiteral("reader.workspace.scroll"));
  ASSERT_NE(workspace, nullptr);
  // Down the page with the wheel, as the reader goes there.
  const auto inView = [&] {
    const QRect shown(check->mapTo(workspace->viewport(), QPoint()), check->size());
    return workspace->viewport()->rect().contains(shown);
  };
  const QPoint wheelAt = workspace->viewport()->mapToGlobal(workspace->viewport()->rect().center());
  for (int notch = 0; notch < 60 && !inView(); ++notch) {
    client_->click(wheelAt, 5);
    QTest::qWait(20);
  }
  ASSERT_TRUE(inView());

  UpdateWindow* window = nullptr;
  const auto shown = [&] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->objectName() == QLatin1String("update.window") && top->isVisible())
        window = qobject_cast<UpdateWindow*>(top);
    return window != nullptr && window->isVisible();
  };
  // Where the server shows the two windows: Qt learns of a window manager's placement a moment
  // later, and under load may still hold a placeholder frame for a window shown again.
  const auto onScreen = [&](QWidget* widget) {
    return QRect(client_->origin(idOf(*widget)), widget->size());
  };
  const auto text = [](const QRect& r) {
    return QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()).toStdString();
  };
  const auto overReader = [&] {
    const QRect offer = onScreen(window);
    const QRect under = onScreen(reader);
    const QScreen* screen = QGuiApplication::screenAt(under.center());
    return (offer.center() - under.center()).manhattanLength() <= 24 && screen != nullptr &&
           screen->geometry().contains(offer);
  };
  enum class Before { nothing, offerPutOff, offerStanding };
  const char* const names[] = {"nothing", "a scheduled offer put off", "a scheduled offer still standing"};
  for (int round = 0; round < 9; ++round) {
    const Before before = static_cast<Before>(round % 3);
    const int monitor = (round / 3) % 2 == 0 ? 1 : 0;
    SCOPED_TRACE(::testing::Message()
                 << "round " << round << " after " << names[round % 3] << ", monitor " << monitor);
    ASSERT_TRUE(moveReaderTo(monitor));
    if (before != Before::nothing) {
      // The day's check finds the release while the reader is elsewhere in the window.
      rig.harness.advance(FeedUpdater::checkInterval);
      ASSERT_TRUE(waitFor(shown));
      ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
      if (before == Before::offerPutOff) {
        DropButton* remind = window->remindButton();
        client_->click(remind->mapToGlobal(remind->rect().center()), 1);
        ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }));
      } else {
        // The offer stands over the reader window where it was; the reader takes the window
        // to the other monitor.
        ASSERT_TRUE(waitFor(overReader));
        ASSERT_TRUE(moveReaderTo(1 - monitor));
      }
    }
    // The reader comes back to the window by its title bar.
    const QRect frame = reader->frameGeometry();
    client_->click(QPoint(frame.center().x(), (frame.top() + reader->geometry().top()) / 2), 1);
    ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == idOf(*reader); }));
    ASSERT_TRUE(waitFor([&] { return check->isEnabled(); }));
    client_->click(check->mapToGlobal(check->rect().center()), 1);
    ASSERT_TRUE(
        waitFor([&] { return shown() && window->isActiveWindow() && window->installButton()->hasFocus(); }));
    // The window manager confirms the mapped window's place a moment after it is exposed.
    EXPECT_TRUE(waitFor(overReader)) << "the offer " << text(onScreen(window)) << " over the reader "
                                     << text(onScreen(reader)) << ", Qt's frames "
                                     << text(window->frameGeometry()) << " and "
                                     << text(reader->frameGeometry());
    if (round == 0) {
      QTest::qWait(200); // let the server draw it
      EXPECT_TRUE(
          wholeDesktop().save(testing::testOutputPath(QStringLiteral("update-over-reader-window.png"))));
    }
    window->close();
  }
}

// "Check for updates" pressed from the keyboard and its answer closed with Escape: under the
// window manager the reader window is the active one again, with the keyboard on "Check for
// updates" (not on "Save settings", which Qt would have handed it to while the check ran), so
// the next Space checks again.
TEST_F(WindowManagerTest, TheKeyboardIsBackOnCheckForUpdatesWhenItsAnswerCloses) {
  DropFonts::registerFonts();
  ReaderWithUpdater launched;
  FeedUpdaterRig& rig = launched.rig;
  ReaderAppDelegate& delegate = launched.delegate;
  delegate.open(ReaderTab::settings);
  QWidget* reader = delegate.window();
  ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == idOf(*reader) && reader->isActiveWindow(); }));
  SettingsView* settings = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (SettingsView* page : reader->findChildren<SettingsView*>())
      if (page->isVisible())
        settings = page;
    return settings != nullptr;
  }));
  DropButton* check = settings->thisComputer()->checkForUpdates();
  const auto press = [&](QWidget* window, Qt::Key key) { QTest::keyClick(window->windowHandle(), key); };
  for (int step = 0; step < 80 && QApplication::focusWidget() != check; ++step)
    press(reader, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), check);
  press(reader, Qt::Key_Space);

  UpdateWindow* answer = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->objectName() == QLatin1String("update.window") && top->isVisible())
        answer = qobject_cast<UpdateWindow*>(top);
    return answer != nullptr && client_->activeWindow() == idOf(*answer) && answer->isActiveWindow();
  }));
  EXPECT_EQ(rig.feedRequests(), 1);
  press(answer, Qt::Key_Escape);
  ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == idOf(*reader) && reader->isActiveWindow(); }));
  EXPECT_EQ(QApplication::focusWidget(), check);
  EXPECT_GT(check->controlState().focus, 0);
  QTest::qWait(200); // let the server draw it
  EXPECT_TRUE(
      wholeDesktop().save(testing::testOutputPath(QStringLiteral("check-for-updates-answer-closed.png"))));

  press(reader, Qt::Key_Space);
  EXPECT_TRUE(waitFor([&] { return rig.feedRequests() == 2 && answer->isVisible(); }));
  int writes = 0;
  for (const LoggedRequest& request : launched.fixture.harness().service().requestLog())
    writes += request.method == "PUT" && request.path == QLatin1String("/api/reader/preferences");
  EXPECT_EQ(writes, 0);
  answer->close();
}

// A scheduled offer standing over the reader window stays above it however the reader goes back
// to the reader window: a click in it, the window switcher (Alt+Tab), a taskbar. The reader
// window closed, the offer stands on its own; opened again, it is followed again.
TEST_F(WindowManagerTest, AScheduledOfferStaysAboveTheReaderWindowWhenTheReaderGoesBackToIt) {
  constexpr std::uint32_t altKey = 0xffe9; // Alt_L
  constexpr std::uint32_t tabKey = 0xff09; // Tab
  DropFonts::registerFonts();
  ReaderWithUpdater launched;
  FeedUpdaterRig& rig = launched.rig;
  ReaderAppDelegate& delegate = launched.delegate;
  QWidget* reader = delegate.window();
  ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == idOf(*reader); }));
  rig.harness.advance(FeedUpdater::firstCheckDelay);
  UpdateWindow* offer = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->objectName() == QLatin1String("update.window") && top->isVisible())
        offer = qobject_cast<UpdateWindow*>(top);
    return offer != nullptr;
  }));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(offer));
  xcb_window_t readerId = idOf(*reader);
  const xcb_window_t offerId = idOf(*offer);
  const auto transientFor = [&] { return client_->cardinals(offerId, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW); };
  const auto offerAboveReader = [&] {
    const QList<std::uint32_t> order = client_->stacking();
    return order.contains(readerId) && order.indexOf(offerId) > order.indexOf(readerId);
  };
  EXPECT_EQ(transientFor(), QList<std::uint32_t>{readerId});
  EXPECT_EQ(client_->activeWindow(), readerId) << "the offer took the focus";
  // Where the reader window shows beside the offer: the left end of its title bar.
  const auto readerTitleBar = [&] {
    const QRect frame = reader->frameGeometry();
    return QPoint(frame.left() + 60, (frame.top() + reader->geometry().top()) / 2);
  };

  const struct {
    const char* name;
    std::function<void()> goBack;
  } ways[] = {
      {"a click on the reader window's title bar", [&] { client_->click(readerTitleBar(), 1); }},
      {"Alt+Tab", [&] { client_->pressChord(altKey, tabKey); }},
      {"a taskbar's activation", [&] { client_->activate(readerId); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    // The reader has been in the offer.
    const auto* headline = offer->findChild<QWidget*>(QStringLiteral("update.headline"));
    ASSERT_NE(headline, nullptr);
    client_->click(headline->mapToGlobal(headline->rect().center()), 1);
    // Qt asks the window manager to activate a window clicked in while it has not heard that the
    // window is active: under load that request could come after the reader's next step and
    // take the focus back from it, so the application hears of it first.
    ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == offerId && offer->isActiveWindow(); }));
    const int restacks = client_->stackingUpdates();
    way.goBack();
    ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == readerId; }))
        << "active: " << client_->activeWindow();
    // The window manager restacks as it hands the focus over, in steps that take their time
    // under load: the order that counts is one it published after the reader went back.
    EXPECT_TRUE(waitFor([&] { return client_->stackingUpdates() > restacks && offerAboveReader(); }))
        << ::testing::PrintToString(client_->stacking());
    EXPECT_TRUE(client_->isViewable(offerId));
  }
  QTest::qWait(200); // let the server draw it
  EXPECT_TRUE(wholeDesktop().save(
      testing::testOutputPath(QStringLiteral("update-scheduled-offer-above-active-reader.png"))));

  // Closed, the reader window leaves the offer standing on its own.
  client_->click(readerTitleBar(), 1);
  ASSERT_TRUE(waitFor([&] { return reader->isActiveWindow(); }));
  delegate.perform(MenuCommand::close);
  ASSERT_TRUE(waitFor([&] { return !client_->isViewable(readerId); }));
  EXPECT_TRUE(waitFor([&] { return transientFor().isEmpty(); }));
  EXPECT_TRUE(offer->isVisible());
  EXPECT_TRUE(client_->isViewable(offerId));

  // Opened again from the menu, it is followed again.
  delegate.open(ReaderTab::welcome);
  // A reader window shown again may be a new native window.
  readerId = idOf(*reader);
  ASSERT_TRUE(waitFor([&] { return client_->isViewable(readerId); }));
  EXPECT_TRUE(waitFor([&] { return transientFor() == QList<std::uint32_t>{readerId}; }));
  client_->click(readerTitleBar(), 1);
  ASSERT_TRUE(waitFor([&] { return client_->activeWindow() == readerId; }));
  EXPECT_TRUE(waitFor(offerAboveReader)) << ::testing::PrintToString(client_->stacking());
  offer->close();
}

// Under the dark scheme, on X11 under a window manager without compositing, the reader window's
// menu bar is one dark surface with its toolbar, and the menu a click on a title opens is dark
// as well; the tray menu too. The screen is read back from the X server (a capture of the root
// window shows translucent windows as the screen does); the picture is written for a person.
TEST_F(WindowManagerTest, TheMenuBarAndItsMenusAreDarkUnderTheDarkScheme) {
  DropFonts::registerFonts();
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::dark, .reduceMotion = true});
  ReaderModelFixture fixture;
  fixture.signIn();
  ReaderModel& model = fixture.open();
  ReaderAppDelegate::Options options = windowOnlyOptions(fixture.applicationDefaultsFile());
  options.statusItem = true;
  ReaderAppDelegate delegate(&model, std::nullopt, options);
  delegate.launch();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate.window()));
  const DropStandardStyle::Colors colors = DropStandardStyle::colors(UiEnvironment::instance().traits());

  QMenuBar* bar = delegate.window()->menuBar();
  QAction* first = bar->actions().first();
  client_->click(bar->mapToGlobal(bar->actionGeometry(first).center()), 1);
  QMenu* menu = first->menu();
  ASSERT_TRUE(waitFor([&] { return menu->isVisible(); }));
  QTest::qWait(300); // painted and shown by the server
  QScreen* screen = delegate.window()->screen();
  const QImage desktop = screen->grabWindow(0).toImage();
  const auto pixel = [&](QPoint global) { return desktop.pixelColor(global - screen->geometry().topLeft()); };
  const auto near = [](const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 18;
  };
  const QPoint barEnd = bar->mapToGlobal(QPoint(bar->width() - 4, bar->height() / 2));
  EXPECT_TRUE(near(pixel(barEnd), colors.barSurface)) << pixel(barEnd).name().toStdString();
  const QPoint inMenu = menu->mapToGlobal(QPoint(menu->width() / 2, 3));
  EXPECT_TRUE(near(pixel(inMenu), colors.popupSurface)) << pixel(inMenu).name().toStdString();
  const QRect shown = delegate.window()->frameGeometry().united(menu->geometry()).adjusted(-8, -8, 8, 8);
  QImage picture = desktop.copy(shown.translated(-screen->geometry().topLeft()));
  QTest::keyClick(menu, Qt::Key_Escape);

  QMenu* tray = delegate.statusMenu();
  ASSERT_NE(tray, nullptr);
  tray->popup(delegate.window()->geometry().center());
  ASSERT_TRUE(waitFor([&] { return tray->isVisible(); }));
  QTest::qWait(300);
  const QImage withTray = screen->grabWindow(0).toImage();
  const QPoint inTray = tray->mapToGlobal(QPoint(tray->width() / 2, 3));
  EXPECT_TRUE(near(withTray.pixelColor(inTray - screen->geometry().topLeft()), colors.popupSurface));
  const QImage trayPicture =
      withTray.copy(tray->geometry().adjusted(-8, -8, 8, 8).translated(-screen->geometry().topLeft()));
  tray->hide();

  QImage sheet(picture.width() + trayPicture.width() + 16, std::max(picture.height(), trayPicture.height()),
               QImage::Format_RGB32);
  sheet.fill(Qt::gray);
  QPainter painter(&sheet);
  painter.drawImage(0, 0, picture);
  painter.drawImage(picture.width() + 16, 0, trayPicture);
  painter.end();
  sheet.save(testing::testOutputPath(QStringLiteral("menus-on-x11-dark.png")));
  UiEnvironment::instance().setOverrides({});
}

} // namespace
} // namespace brindlewick
