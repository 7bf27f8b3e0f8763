#include "desktop/X11WindowHints.h"

#include "desktop/QtX11Connection.h"

#include <QVarLengthArray>
#include <QWindow>

#include <cstdlib>

namespace brindlewick::X11WindowHints {

#ifdef BRINDLEWICK_HAVE_XCB

namespace {

// The workspace number of a window shown on every workspace.
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
// Longest list of states kept from the window; Qt and window managers set a handful.
constexpr std::uint32_t kMaxStates = 64;

} // namespace

void showOnAllWorkspaces(QWindow& window) {
  xcb_connection_t* connection = QtX11Connection::get();
  if (connection == nullptr)
    return;
  const auto id = static_cast<xcb_window_t>(window.winId());
  const xcb_atom_t desktop = QtX11Connection::atom("_NET_WM_DESKTOP");
  const xcb_atom_t state = QtX11Connection::atom("_NET_WM_STATE");
  const xcb_atom_t sticky = QtX11Connection::atom("_NET_WM_STATE_STICKY");

  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1,
                      &kAllDesktops);

  // Qt writes the states it manages (above, for a window that stays on top) into the same
  // list when it maps the window, keeping those already there: add sticky to what is there.
  QVarLengthArray<xcb_atom_t, 8> states;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, kMaxStates), nullptr);
  if (reply != nullptr && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    states.append(atoms, xcb_get_property_value_length(reply) / 4);
  }
  std::free(reply);
  if (!states.contains(sticky)) {
    states.append(sticky);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(states.size()), states.constData());
  }
  xcb_flush(connection);
}

#else

void showOnAllWorkspaces(QWindow&) {}

#endif

} // namespace brindlewick::X11WindowHints
