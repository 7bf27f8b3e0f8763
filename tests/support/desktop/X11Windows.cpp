#include "desktop/X11Windows.h"

#ifdef BRINDLEWICK_HAVE_XCB

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace brindlewick {

X11Windows::X11Windows() : m_connection(xcb_connect(nullptr, nullptr)) {
  m_root = ok() ? xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root : XCB_NONE;
}

X11Windows::~X11Windows() {
  xcb_disconnect(m_connection);
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

xcb_atom_t X11Windows::atom(const char* name) {
  return internAtom(m_connection, name);
}

QList<xcb_window_t> X11Windows::mappedWindowsOf(qint64 pid, bool closableOnly) {
  QList<xcb_window_t> found;
  for (const xcb_window_t window : stackingOrder()) {
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
    const bool mapped = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                        (!closableOnly || !attributes->override_redirect);
    std::free(attributes);
    if (mapped && cardinal(window, atom("_NET_WM_PID")) == pid && (!closableOnly || speaksDelete(window)))
      found << window;
  }
  return found;
}

QList<xcb_window_t> X11Windows::stackingOrder() {
  QList<xcb_window_t> order;
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
  if (!tree)
    return order;
  const xcb_window_t* children = xcb_query_tree_children(tree);
  for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
    order << children[i];
  std::free(tree);
  return order;
}

QRect X11Windows::geometry(xcb_window_t window) {
  xcb_get_geometry_reply_t* reply =
      xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
  const QRect frame = reply ? QRect(reply->x, reply->y, reply->width, reply->height) : QRect();
  std::free(reply);
  return frame;
}

xcb_window_t X11Windows::inputFocus() {
  xcb_get_input_focus_reply_t* reply =
      xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
  const xcb_window_t focus = reply ? reply->focus : xcb_window_t(XCB_NONE);
  std::free(reply);
  return focus;
}

void X11Windows::requestClose(xcb_window_t window) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom("WM_PROTOCOLS");
  event.data.data32[0] = atom("WM_DELETE_WINDOW");
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
  xcb_flush(m_connection);
}

xcb_window_t X11Windows::openFocusedWindow(const QRect& frame) {
  const xcb_window_t window = xcb_generate_id(m_connection);
  const quint32 background[] = {0x3a5f7f};
  xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, frame.x(), frame.y(), frame.width(),
                    frame.height(), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                    background);
  xcb_map_window(m_connection, window);
  sync();
  focus(window);
  return window;
}

void X11Windows::focus(xcb_window_t window) {
  xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
  xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_ACTIVE_WINDOW"),
                      XCB_ATOM_WINDOW, 32, 1, &window);
  sync();
}

void X11Windows::destroyWindow(xcb_window_t window) {
  xcb_destroy_window(m_connection, window);
  sync();
}

void X11Windows::sync() {
  std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

qint64 X11Windows::cardinal(xcb_window_t window, xcb_atom_t property) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      m_connection, xcb_get_property(m_connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1), nullptr);
  qint64 value = -1;
  if (reply && xcb_get_property_value_length(reply) >= 4)
    value = *static_cast<const quint32*>(xcb_get_property_value(reply));
  std::free(reply);
  return value;
}

bool X11Windows::speaksDelete(xcb_window_t window) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      m_connection, xcb_get_property(m_connection, 0, window, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 0, 16),
      nullptr);
  const xcb_atom_t deleteWindow = atom("WM_DELETE_WINDOW");
  bool speaks = false;
  if (reply) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
      speaks = speaks || atoms[i] == deleteWindow;
  }
  std::free(reply);
  return speaks;
}

void X11Windows::watchStartupMessages() {
  // They reach every client that watches the root window's properties.
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
  sync();
}

QList<QByteArray> X11Windows::startupMessages() {
  sync();
  const xcb_atom_t begin = atom("_NET_STARTUP_INFO_BEGIN");
  while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
    const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->format == 8 && message->type == begin) {
      const char* data = reinterpret_cast<const char*>(message->data.data8);
      m_startupMessages.append(QByteArray(data, qstrnlen(data, 20)));
    }
    std::free(event);
  }
  return m_startupMessages;
}

} // namespace brindlewick

#endif
