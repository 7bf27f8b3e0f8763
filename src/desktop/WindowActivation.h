#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

class QWindow;

namespace brindlewick {

// Bringing a window forward for a start of Brindlewick (a second launch, a link, a launcher
// action) as the desktop's startup notification asks, so that a window manager that keeps new
// windows from stealing the focus knows the reader asked for it, and the desktop's launch
// feedback (a busy cursor, a spinning launcher entry) stops. Main thread only.
namespace WindowActivation {

// The X server time of the reader's action that started a launch, which its startup id
// carries as a final "_TIME" and a decimal number; none when the id carries no valid one.
std::optional<std::uint32_t> startupTimestamp(QStringView startupId);

// The startup-notification message that ends the launch `startupId`: "remove: ID=" and the id,
// in double quotes (with \" and \\ escaped) when it holds a space, a quote or a backslash.
QByteArray removalMessage(const QString& startupId);

// Raises `window` and asks for the keyboard focus: on X11 with the time of `startupId` (the
// window manager's activation request with the application as its source), on Wayland with
// `activationToken` where Qt takes one (the XDG_ACTIVATION_TOKEN it reads when it activates).
// Without either, Qt's own activation request.
void activate(QWindow& window, const QString& startupId, const QString& activationToken);

// Tells the desktop that the launch `startupId` is complete. Nothing for an empty id or off
// X11.
void endLaunchFeedback(const QString& startupId);

} // namespace WindowActivation

} // namespace brindlewick
