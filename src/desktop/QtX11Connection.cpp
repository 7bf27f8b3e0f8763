#include "desktop/QtX11Connection.h"

#ifdef BRINDLEWICK_HAVE_XCB

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

namespace brindlewick::QtX11Connection {

xcb_connection_t* get() {
  const auto* application = qGuiApp;
  if (application == nullptr)
    return nullptr;
  const auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t root() {
  xcb_connection_t* connection = get();
  if (connection == nullptr)
    return XCB_NONE;
  const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  return screens.rem > 0 ? screens.data->root : xcb_window_t(XCB_NONE);
}

xcb_atom_t atom(const char* name) {
  xcb_connection_t* connection = get();
  if (connection == nullptr)
    return XCB_ATOM_NONE;
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

} // namespace brindlewick::QtX11Connection

#endif
