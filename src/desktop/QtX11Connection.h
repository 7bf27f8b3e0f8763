#pragma once

#ifdef BRINDLEWICK_HAVE_XCB

#include <xcb/xcb.h>

namespace brindlewick {

// The connection Qt's X11 platform keeps to the X server. A request sent on it reaches the
// server in order with Qt's own (a property set before Qt maps a window is there when the
// window manager looks), where a connection of our own would race them. Main thread only.
namespace QtX11Connection {

// Qt's connection; null when the application does not run on X11.
xcb_connection_t* get();
// The root window of the default screen; XCB_NONE without a connection.
xcb_window_t root();
// The atom of `name` on Qt's connection (one round trip); XCB_ATOM_NONE without a connection.
xcb_atom_t atom(const char* name);

} // namespace QtX11Connection

} // namespace brindlewick

#endif
