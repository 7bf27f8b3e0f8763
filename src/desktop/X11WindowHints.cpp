#include "desktop/X11WindowHints.h"

#include "desktop/QtX11Connection.h"

#include <QVarLengthArray>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace brindlewick::X11WindowHints {

#ifdef BRINDLEWICK_HAVE_XCB

namespace {

// The workspace number of a window shown on every workspace.
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
// Longest list of states kept from the window; Qt and window managers set a handful.
constexpr std::uint32_t kMaxStates = 64;
// WM_STATE values of a window the window manager manages (ICCCM 4.1.3.1).
constexpr std::uint32_t kNormalState = 1;
constexpr std::uint32_t kIconicState = 3;
// _NET_WM_STATE message: add the states named; the request comes from an application.
constexpr std::uint32_t kAddState = 1;
constexpr std::uint32_t kFromApplication = 1;

// Whether the window manager manages `id`: it sets WM_STATE to normal or iconic while it does,
// and to withdrawn, or removes it, once the window is hidden.
bool isManaged(xcb_connection_t* connection, xcb_window_t id) {
  const xcb_atom_t wmState = QtX11Connection::atom("WM_STATE");
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, id, wmState, wmState, 0, 2), nullptr);
  bool managed = false;
  if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
    const std::uint32_t state = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    managed = state == kNormalState || state == kIconicState;
  }
  std::free(reply);
  return managed;
}

// A request about `id` to the window manager, sent as EWMH asks: to the root window, for
// whoever redirects its substructure.
void sendToWindowManager(xcb_connection_t* connection, xcb_window_t id, xcb_atom_t type,
                         std::initializer_list<std::uint32_t> data) {
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = id;
  message.type = type;
  std::copy(data.begin(), data.end(), message.data.data32);
  xcb_send_event(connection, 0, QtX11Connection::root(),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
}

// Adds `names` to the window's state, keeping what it holds.
void addStates(xcb_connection_t* connection, xcb_window_t id, bool managed,
               std::initializer_list<const char*> names) {
  const xcb_atom_t state = QtX11Connection::atom("_NET_WM_STATE");
  QVarLengthArray<xcb_atom_t, 4> adding;
  for (const char* name : names)
    adding.append(QtX11Connection::atom(name));

  if (managed) {
    // The window manager owns the property now; a message names at most two states.
    for (qsizetype i = 0; i < adding.size(); i += 2)
      sendToWindowManager(
          connection, id, state,
          {kAddState, adding[i], i + 1 < adding.size() ? adding[i + 1] : 0, kFromApplication});
    return;
  }

  // Qt writes the states it manages (above, for a window that stays on top) into the same
  // list when it maps the window, keeping those already there: add ours to what is there.
  QVarLengthArray<xcb_atom_t, 8> states;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, kMaxStates), nullptr);
  if (reply != nullptr && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    states.append(atoms, xcb_get_property_value_length(reply) / 4);
  }
  std::free(reply);
  const qsizetype held = states.size();
  for (xcb_atom_t atom : adding)
    if (!states.contains(atom))
      states.append(atom);
  if (states.size() != held)
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(states.size()), states.constData());
}

} // namespace

void showOnAllWorkspaces(QWindow& window, Moment moment) {
  xcb_connection_t* connection = QtX11Connection::get();
  if (connection == nullptr)
    return;
  const auto id = static_cast<xcb_window_t>(window.winId());
  const bool managed = moment == Moment::mapped || isManaged(connection, id);
  const xcb_atom_t desktop = QtX11Connection::atom("_NET_WM_DESKTOP");
  if (managed)
    sendToWindowManager(connection, id, desktop, {kAllDesktops, kFromApplication});
  else
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1,
                        &kAllDesktops);
  addStates(connection, id, managed, {"_NET_WM_STATE_STICKY"});
  xcb_flush(connection);
}

void leaveOutOfTaskbars(QWindow& window, Moment moment) {
  xcb_connection_t* connection = QtX11Connection::get();
  if (connection == nullptr)
    return;
  const auto id = static_cast<xcb_window_t>(window.winId());
  addStates(connection, id, moment == Moment::mapped || isManaged(connection, id),
            {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
  xcb_flush(connection);
}

void setTransientFor(QWindow& window, const QWindow* parent) {
  xcb_connection_t* connection = QtX11Connection::get();
  if (connection == nullptr)
    return;
  const auto id = static_cast<xcb_window_t>(window.winId());
  // ICCCM 4.1.2.6: the window manager reads the property when it maps the window and follows
  // its changes after.
  if (parent != nullptr) {
    const auto parentId = static_cast<xcb_window_t>(parent->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32,
                        1, &parentId);
  } else {
    xcb_delete_property(connection, id, XCB_ATOM_WM_TRANSIENT_FOR);
  }
  xcb_flush(connection);
}

#else

void showOnAllWorkspaces(QWindow&, Moment) {}
void leaveOutOfTaskbars(QWindow&, Moment) {}
void setTransientFor(QWindow&, const QWindow*) {}

#endif

} // namespace brindlewick::X11WindowHints
