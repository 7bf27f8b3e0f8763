#include "desktop/WindowActivation.h"

#include "desktop/QtX11Connection.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <limits>

namespace brindlewick::WindowActivation {

namespace {

constexpr QStringView kTimeMarker = u"_TIME";

bool needsQuotes(const QString& value) {
  return value.contains(QLatin1Char(' ')) || value.contains(QLatin1Char('"')) ||
         value.contains(QLatin1Char('\\'));
}

#ifdef BRINDLEWICK_HAVE_XCB

// The source of an activation request that an application sends for itself.
constexpr std::uint32_t kSourceApplication = 1;
// A startup-notification message travels in chunks of this many bytes.
constexpr int kMessageChunk = 20;

// The window manager's activation request for `window`, with the reader's time.
bool requestActivation(QWindow& window, std::uint32_t timestamp) {
  xcb_connection_t* connection = QtX11Connection::get();
  if (connection == nullptr)
    return false;
  xcb_client_message_event_t message;
  std::memset(&message, 0, sizeof message);
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(window.winId());
  message.type = QtX11Connection::atom("_NET_ACTIVE_WINDOW");
  message.data.data32[0] = kSourceApplication;
  message.data.data32[1] = timestamp;
  const QWindow* focused = QGuiApplication::focusWindow();
  message.data.data32[2] = focused != nullptr ? static_cast<std::uint32_t>(focused->winId()) : XCB_NONE;
  xcb_send_event(connection, 0, QtX11Connection::root(),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection);
  return true;
}

#endif

} // namespace

std::optional<std::uint32_t> startupTimestamp(QStringView startupId) {
  const qsizetype marker = startupId.lastIndexOf(kTimeMarker);
  if (marker < 0)
    return std::nullopt;
  const QStringView digits = startupId.mid(marker + kTimeMarker.size());
  const bool allDigits = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
  });
  if (!allDigits)
    return std::nullopt;
  bool ok = false;
  const qulonglong value = digits.toULongLong(&ok);
  if (!ok || value > std::numeric_limits<std::uint32_t>::max())
    return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

QByteArray removalMessage(const QString& startupId) {
  QString value = startupId;
  if (needsQuotes(value)) {
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('"'), QLatin1String("\\\""));
    value = QLatin1Char('"') + value + QLatin1Char('"');
  }
  return QByteArrayLiteral("remove: ID=") + value.toUtf8();
}

void activate(QWindow& window, const QString& startupId, const QString& activationToken) {
#ifdef BRINDLEWICK_HAVE_XCB
  if (const std::optional<std::uint32_t> timestamp = startupTimestamp(startupId)) {
    if (requestActivation(window, *timestamp))
      return;
  }
#endif
  // Qt's Wayland platform hands the compositor the token it finds here when it activates.
  if (!activationToken.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
    qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
  window.requestActivate();
}

void endLaunchFeedback(const QString& startupId) {
#ifdef BRINDLEWICK_HAVE_XCB
  xcb_connection_t* connection = QtX11Connection::get();
  if (startupId.isEmpty() || connection == nullptr)
    return;
  const xcb_window_t root = QtX11Connection::root();
  const xcb_atom_t begin = QtX11Connection::atom("_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = QtX11Connection::atom("_NET_STARTUP_INFO");
  // The message and its terminating NUL, in chunks; every listener on the root window reads
  // them in order and joins them.
  QByteArray message = removalMessage(startupId);
  message.append('\0');
  for (qsizetype sent = 0; sent < message.size(); sent += kMessageChunk) {
    xcb_client_message_event_t chunk;
    std::memset(&chunk, 0, sizeof chunk);
    chunk.response_type = XCB_CLIENT_MESSAGE;
    chunk.format = 8;
    chunk.window = root;
    chunk.type = sent == 0 ? begin : more;
    const qsizetype length = std::min<qsizetype>(kMessageChunk, message.size() - sent);
    std::memcpy(chunk.data.data8, message.constData() + sent, static_cast<std::size_t>(length));
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char*>(&chunk));
  }
  xcb_flush(connection);
#else
  Q_UNUSED(startupId);
#endif
}

} // namespace brindlewick::WindowActivation
