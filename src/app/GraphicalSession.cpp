#include "app/GraphicalSession.h"

#include <QDir>
#include <QFileInfo>

#ifdef BRINDLEWICK_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace brindlewick::GraphicalSession {

namespace {

// Why an X display cannot be used, or nothing.
std::optional<QString> missingX11(const QtCommandLine& commandLine, const Environment& environment) {
  const QString display = commandLine.display.value_or(environment("DISPLAY"));
  if (display.isEmpty())
    return QStringLiteral("DISPLAY is not set");
#ifdef BRINDLEWICK_HAVE_XCB
  // A display that does not answer ends the start as surely as none.
  xcb_connection_t* connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
  const bool failed = xcb_connection_has_error(connection) != 0;
  xcb_disconnect(connection);
  if (failed)
    return QStringLiteral("cannot connect to X display %1").arg(display);
#endif
  return std::nullopt;
}

std::optional<QString> missingWayland(const Environment& environment) {
  const QString name = environment("WAYLAND_DISPLAY");
  if (name.isEmpty())
    return QStringLiteral("WAYLAND_DISPLAY is not set");
  const QString socket =
      QDir::isAbsolutePath(name) ? name : QDir(environment("XDG_RUNTIME_DIR")).filePath(name);
  if (!QFileInfo::exists(socket))
    return QStringLiteral("no Wayland compositor at %1").arg(socket);
  return std::nullopt;
}

} // namespace

QString processEnvironment(const char* name) {
  return qEnvironmentVariable(name);
}

std::optional<QString> missingDisplay(const QtCommandLine& commandLine, const Environment& environment) {
  QString platforms = commandLine.platform.value_or(environment("QT_QPA_PLATFORM"));
  if (platforms.isEmpty()) {
    platforms = QStringLiteral("xcb");
    if (environment("XDG_SESSION_TYPE") == u"wayland")
      platforms.prepend(QStringLiteral("wayland;"));
  }
  // Qt tries each platform of the list in turn.
  QStringList reasons;
  for (const QString& entry : platforms.split(u';', Qt::SkipEmptyParts)) {
    const QString name = entry.section(u':', 0, 0);
    std::optional<QString> reason;
    if (name == u"xcb")
      reason = missingX11(commandLine, environment);
    else if (name.startsWith(u"wayland"))
      reason = missingWayland(environment);
    if (!reason)
      return std::nullopt;
    reasons.append(*reason);
  }
  if (reasons.isEmpty())
    return std::nullopt;
  return reasons.join(QStringLiteral("; "));
}

QString refusal(const QString& reason) {
  return QStringLiteral("Brindlewick needs a graphical session (no display was found: %1).\n").arg(reason);
}

} // namespace brindlewick::GraphicalSession
