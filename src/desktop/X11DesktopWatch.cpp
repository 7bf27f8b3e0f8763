#include "desktop/X11DesktopWatch.h"

#include <QSocketNotifier>

#include <cstdlib>
#include <cstring>

#include <limits>

#ifdef BRINDLEWICK_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace brindlewick {

#ifdef BRINDLEWICK_HAVE_XCB

namespace {

constexpr const char* kAtomNames[] = {"_NET_ACTIVE_WINDOW",   "_NET_WM_STATE",   "_NET_WM_STATE_FULLSCREEN",
                                      "_NET_CURRENT_DESKTOP", "_NET_WM_DESKTOP", "_NET_WM_PID",
                                      "_NET_FRAME_EXTENTS"};
enum AtomIndex {
  ActiveWindow,
  WmState,
  WmStateFullScreen,
  CurrentDesktop,
  WmDesktop,
  WmPid,
  FrameExtents,
  AtomCount
};

// The _NET_WM_DESKTOP of a window shown on every workspace.
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

// Longest list of states read from one window; real window managers set a handful.
constexpr std::uint32_t kMaxStates = 64;

} // namespace

struct X11DesktopWatch::Connection {
  xcb_connection_t* xcb = nullptr;
  xcb_window_t root = XCB_NONE;
  xcb_atom_t atoms[AtomCount] = {};

  ~Connection() {
    if (xcb != nullptr) {
      xcb_disconnect(xcb);
    }
  }
};

void X11DesktopWatch::open(const QByteArray& displayName) {
  auto connection = std::make_unique<Connection>();
  connection->xcb = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), nullptr);
  if (connection->xcb == nullptr || xcb_connection_has_error(connection->xcb) != 0) {
    return;
  }
  const xcb_setup_t* setup = xcb_get_setup(connection->xcb);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
  if (screens.rem == 0) {
    return;
  }
  connection->root = screens.data->root;

  // Ask for every atom first and collect the answers afterwards: one round trip, not four.
  xcb_intern_atom_cookie_t cookies[AtomCount];
  for (int i = 0; i < AtomCount; ++i) {
    cookies[i] = xcb_intern_atom(connection->xcb, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])),
                                 kAtomNames[i]);
  }
  for (int i = 0; i < AtomCount; ++i) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection->xcb, cookies[i], nullptr);
    if (reply == nullptr) {
      return;
    }
    connection->atoms[i] = reply->atom;
    std::free(reply);
  }

  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(connection->xcb, connection->root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection->xcb);

  connection_ = std::move(connection);
  notifier_ = new QSocketNotifier(static_cast<qintptr>(xcb_get_file_descriptor(connection_->xcb)),
                                  QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &X11DesktopWatch::drainEvents);
  followActiveWindow();
}

void X11DesktopWatch::close() {
  if (notifier_ != nullptr) {
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
  }
  connection_.reset();
  activeWindow_ = 0;
  activeFullScreen_ = false;
}

bool X11DesktopWatch::isConnected() const {
  return connection_ != nullptr;
}

std::uint32_t X11DesktopWatch::queryActiveWindow() {
  return property32(connection_->root, ActiveWindow, XCB_ATOM_WINDOW).value_or(XCB_NONE);
}

bool X11DesktopWatch::windowIsFullScreen(std::uint32_t window) {
  if (window == XCB_NONE) {
    return false;
  }
  xcb_get_property_cookie_t cookie = xcb_get_property(
      connection_->xcb, 0, window, connection_->atoms[WmState], XCB_ATOM_ATOM, 0, kMaxStates);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(connection_->xcb, cookie, nullptr);
  if (reply == nullptr) {
    return false; // the window went away between the two questions
  }
  bool fullScreen = false;
  if (reply->type == XCB_ATOM_ATOM && reply->format == 32) {
    const int count = xcb_get_property_value_length(reply) / 4;
    const auto* states = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    for (int i = 0; i < count && !fullScreen; ++i) {
      fullScreen = states[i] == connection_->atoms[WmStateFullScreen];
    }
  }
  std::free(reply);
  return fullScreen;
}

bool X11DesktopWatch::activeWindowIsFullScreen() {
  if (!isConnected()) {
    return false;
  }
  return windowIsFullScreen(queryActiveWindow());
}

std::optional<qint32> X11DesktopWatch::activeWindowPid() {
  if (!isConnected())
    return std::nullopt;
  const std::uint32_t window = queryActiveWindow();
  if (window == XCB_NONE)
    return std::nullopt;
  const std::optional<std::uint32_t> pid = property32(window, WmPid, XCB_ATOM_CARDINAL);
  if (!pid || *pid == 0 || *pid > static_cast<std::uint32_t>(std::numeric_limits<qint32>::max()))
    return std::nullopt;
  return static_cast<qint32>(*pid);
}

std::uint32_t X11DesktopWatch::inputFocus() {
  if (!isConnected())
    return XCB_NONE;
  xcb_get_input_focus_reply_t* reply =
      xcb_get_input_focus_reply(connection_->xcb, xcb_get_input_focus(connection_->xcb), nullptr);
  scheduleDrain();
  if (reply == nullptr)
    return XCB_NONE;
  const std::uint32_t focus = reply->focus;
  std::free(reply);
  return focus;
}

std::optional<QRect> X11DesktopWatch::activeWindowFrame() {
  if (!isConnected())
    return std::nullopt;
  const std::uint32_t window = queryActiveWindow();
  if (window == XCB_NONE)
    return std::nullopt;
  xcb_connection_t* xcb = connection_->xcb;
  // Three questions in one round trip: the window's size, where it lies on the root window,
  // and the decoration the window manager puts around it (left, right, top, bottom).
  const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(xcb, window);
  const xcb_translate_coordinates_cookie_t originCookie =
      xcb_translate_coordinates(xcb, window, connection_->root, 0, 0);
  const xcb_get_property_cookie_t extentsCookie =
      xcb_get_property(xcb, 0, window, connection_->atoms[FrameExtents], XCB_ATOM_CARDINAL, 0, 4);
  xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(xcb, geometryCookie, nullptr);
  xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(xcb, originCookie, nullptr);
  xcb_get_property_reply_t* extents = xcb_get_property_reply(xcb, extentsCookie, nullptr);
  scheduleDrain();

  std::optional<QRect> frame;
  if (geometry != nullptr && origin != nullptr) {
    std::uint32_t edges[4] = {0, 0, 0, 0};
    if (extents != nullptr && extents->type == XCB_ATOM_CARDINAL && extents->format == 32 &&
        xcb_get_property_value_length(extents) >= static_cast<int>(sizeof edges)) {
      std::memcpy(edges, xcb_get_property_value(extents), sizeof edges);
    }
    const int left = static_cast<int>(edges[0]);
    const int right = static_cast<int>(edges[1]);
    const int top = static_cast<int>(edges[2]);
    const int bottom = static_cast<int>(edges[3]);
    frame = QRect(origin->dst_x - left, origin->dst_y - top, geometry->width + left + right,
                  geometry->height + top + bottom);
  }
  std::free(geometry);
  std::free(origin);
  std::free(extents);
  return frame;
}

std::optional<std::uint32_t> X11DesktopWatch::property32(std::uint32_t window, int atom, std::uint32_t type) {
  xcb_get_property_cookie_t cookie =
      xcb_get_property(connection_->xcb, 0, window, connection_->atoms[atom], type, 0, 1);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(connection_->xcb, cookie, nullptr);
  scheduleDrain();
  if (reply == nullptr) {
    return std::nullopt; // no such window
  }
  std::optional<std::uint32_t> value;
  if (reply->type == type && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
    std::uint32_t number = 0;
    std::memcpy(&number, xcb_get_property_value(reply), sizeof number);
    value = number;
  }
  std::free(reply);
  return value;
}

std::optional<bool> X11DesktopWatch::isOnCurrentDesktop(std::uint32_t window) {
  if (!isConnected() || window == XCB_NONE) {
    return std::nullopt;
  }
  const std::optional<std::uint32_t> desktop = property32(window, WmDesktop, XCB_ATOM_CARDINAL);
  if (desktop == kAllDesktops) {
    return true;
  }
  const std::optional<std::uint32_t> current =
      property32(connection_->root, CurrentDesktop, XCB_ATOM_CARDINAL);
  if (!desktop || !current) {
    return std::nullopt;
  }
  return *desktop == *current;
}

void X11DesktopWatch::followActiveWindow() {
  const std::uint32_t window = queryActiveWindow();
  if (window != activeWindow_) {
    // Property changes of a foreign window reach us only while we ask for them; the old
    // window may be gone already, and the error that causes is read and dropped.
    const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    const std::uint32_t property = XCB_EVENT_MASK_PROPERTY_CHANGE;
    if (activeWindow_ != XCB_NONE) {
      xcb_change_window_attributes(connection_->xcb, activeWindow_, XCB_CW_EVENT_MASK, &none);
    }
    if (window != XCB_NONE) {
      xcb_change_window_attributes(connection_->xcb, window, XCB_CW_EVENT_MASK, &property);
    }
    xcb_flush(connection_->xcb);
    activeWindow_ = window;
  }
  const bool fullScreen = windowIsFullScreen(window);
  if (fullScreen != activeFullScreen_) {
    activeFullScreen_ = fullScreen;
    Q_EMIT activeFullScreenChanged(fullScreen);
  }
}

void X11DesktopWatch::scheduleDrain() {
  // Waiting for a reply makes xcb read every event already on the socket into its own queue,
  // where the socket notifier can no longer see it; look at the queue once control returns
  // to the event loop.
  if (!drainScheduled_) {
    drainScheduled_ = true;
    QMetaObject::invokeMethod(this, &X11DesktopWatch::drainEvents, Qt::QueuedConnection);
  }
}

void X11DesktopWatch::drainEvents() {
  drainScheduled_ = false;
  if (!isConnected()) {
    return;
  }
  bool activeChanged = false;
  bool stateChanged = false;
  bool desktopChanged = false;
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->xcb)) {
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
      const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
      if (notify->window == connection_->root && notify->atom == connection_->atoms[ActiveWindow]) {
        activeChanged = true;
      } else if (notify->window == connection_->root && notify->atom == connection_->atoms[CurrentDesktop]) {
        desktopChanged = true;
      } else if (notify->window == activeWindow_ && notify->atom == connection_->atoms[WmState]) {
        stateChanged = true;
      }
    }
    std::free(event);
  }
  if (xcb_connection_has_error(connection_->xcb) != 0) {
    close(); // the server went away: from now on there is nothing to report
    return;
  }
  if (activeChanged || stateChanged) {
    followActiveWindow();
  }
  if (activeChanged) {
    Q_EMIT activeWindowChanged();
  }
  if (desktopChanged) {
    Q_EMIT currentDesktopChanged();
  }
}

#else // no xcb at build time: the watch is always inert

struct X11DesktopWatch::Connection {};

void X11DesktopWatch::open(const QByteArray&) {}
void X11DesktopWatch::close() {}
bool X11DesktopWatch::isConnected() const {
  return false;
}
bool X11DesktopWatch::activeWindowIsFullScreen() {
  return false;
}
std::optional<bool> X11DesktopWatch::isOnCurrentDesktop(std::uint32_t) {
  return std::nullopt;
}
std::optional<std::uint32_t> X11DesktopWatch::property32(std::uint32_t, int, std::uint32_t) {
  return std::nullopt;
}
std::optional<qint32> X11DesktopWatch::activeWindowPid() {
  return std::nullopt;
}
std::uint32_t X11DesktopWatch::inputFocus() {
  return 0;
}
std::optional<QRect> X11DesktopWatch::activeWindowFrame() {
  return std::nullopt;
}
void X11DesktopWatch::drainEvents() {}
void X11DesktopWatch::followActiveWindow() {}
std::uint32_t X11DesktopWatch::queryActiveWindow() {
  return 0;
}
bool X11DesktopWatch::windowIsFullScreen(std::uint32_t) {
  return false;
}

#endif

X11DesktopWatch::X11DesktopWatch(QObject* parent) : QObject(parent) {
  const QByteArray display = qgetenv("DISPLAY");
  if (!display.isEmpty() && !isWaylandSession()) {
    open(display);
  }
}

X11DesktopWatch::X11DesktopWatch(const QByteArray& displayName, QObject* parent) : QObject(parent) {
  if (!displayName.isEmpty()) {
    open(displayName);
  }
}

X11DesktopWatch::~X11DesktopWatch() {
  close();
}

bool X11DesktopWatch::isWaylandSession() {
  return qgetenv("XDG_SESSION_TYPE") == "wayland" || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

} // namespace brindlewick
