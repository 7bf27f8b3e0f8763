#include "desktop/X11PressMonitor.h"

#include "desktop/ScreenSource.h"

#include <QSocketNotifier>

#include <cstdlib>

#ifdef BRINDLEWICK_HAVE_XCB_XINPUT
#include <xcb/xcb.h>
#include <xcb/xinput.h>
#endif

namespace brindlewick {

#ifdef BRINDLEWICK_HAVE_XCB_XINPUT

namespace {

constexpr std::uint32_t kLeftButton = 1;
constexpr std::uint32_t kRightButton = 3;

} // namespace

struct X11PressMonitor::Connection {
  xcb_connection_t* xcb = nullptr;
  xcb_window_t root = XCB_NONE;
  std::uint8_t extension = 0; // the major opcode XInput's events carry

  ~Connection() {
    if (xcb != nullptr)
      xcb_disconnect(xcb);
  }
};

X11PressMonitor::X11PressMonitor(const QByteArray& displayName, QObject* parent)
    : OutsidePressMonitor(parent) {
  auto connection = std::make_unique<Connection>();
  connection->xcb = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), nullptr);
  if (xcb_connection_has_error(connection->xcb) != 0)
    return;
  const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection->xcb));
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection->xcb, &xcb_input_id);
  if (screens.rem == 0 || extension == nullptr || extension->present == 0)
    return;
  connection->root = screens.data->root;
  connection->extension = extension->major_opcode;

  // Since XInput 2.1 the raw events reach every client that asks, also while another one
  // grabs the pointer (a menu that is open, a window being dragged).
  xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
      connection->xcb, xcb_input_xi_query_version(connection->xcb, 2, 2), nullptr);
  const bool recent = version != nullptr && (version->major_version > 2 ||
                                             (version->major_version == 2 && version->minor_version >= 1));
  std::free(version);
  if (!recent)
    return;

  m_connection = std::move(connection);
  m_notifier = new QSocketNotifier(static_cast<qintptr>(xcb_get_file_descriptor(m_connection->xcb)),
                                   QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &X11PressMonitor::readEvents);
}

X11PressMonitor::~X11PressMonitor() = default;

bool X11PressMonitor::isAvailable() const {
  return m_connection != nullptr;
}

void X11PressMonitor::setListening(bool listening) {
  if (!isAvailable())
    return;
  // The master pointer's raw events: one per press, whichever device made it.
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
         listening ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0};
  xcb_input_xi_select_events(m_connection->xcb, m_connection->root, 1, &mask.head);
  xcb_flush(m_connection->xcb);
}

void X11PressMonitor::readEvents() {
  if (!isAvailable())
    return;
  xcb_connection_t* xcb = m_connection->xcb;
  while (xcb_generic_event_t* event = xcb_poll_for_event(xcb)) {
    bool press = false;
    if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
      const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
      if (generic->extension == m_connection->extension &&
          generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
        const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
        press = raw->detail == kLeftButton || raw->detail == kRightButton;
      }
    }
    std::free(event);
    // A press that ends the last watch (the panel closes) stops the ones queued behind it.
    if (!press || !isWatching())
      continue;
    xcb_query_pointer_reply_t* pointer =
        xcb_query_pointer_reply(xcb, xcb_query_pointer(xcb, m_connection->root), nullptr);
    if (pointer == nullptr)
      continue;
    const QPoint native(pointer->root_x, pointer->root_y);
    std::free(pointer);
    Q_EMIT pressed(SystemScreenSource::nativeToDesktop(native));
  }
  if (xcb_connection_has_error(xcb) != 0) {
    // The server went away: from now on there is nothing to report.
    m_notifier->setEnabled(false);
    m_connection.reset();
  }
}

#else // no XInput2 at build time: the monitor reports nothing

struct X11PressMonitor::Connection {};

X11PressMonitor::X11PressMonitor(const QByteArray&, QObject* parent) : OutsidePressMonitor(parent) {}
X11PressMonitor::~X11PressMonitor() = default;
bool X11PressMonitor::isAvailable() const {
  return false;
}
void X11PressMonitor::setListening(bool) {}
void X11PressMonitor::readEvents() {}

#endif

} // namespace brindlewick
