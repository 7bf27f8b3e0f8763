#pragma once

#include "desktop/DesktopProbes.h"
#include "geometry/Rect.h"

#include <QJsonObject>

#include <cstdio>

namespace brindlewick {

class PanelController;
class ScreenSource;
class X11DesktopWatch;

// A report of the screens, the panel geometry and the desktop's presentation state, as one
// JSON document on standard output, for scripts and bug reports. Where this desktop has no
// counterpart of a value the report carries the neutral one (0, false, zero rectangles).
namespace Diagnostics {

// What the report reads. `x11` may be null (no X server): the front application is then
// unknown and nothing holds the input focus.
struct Sources {
  const ScreenSource& screens;
  DesktopProbes probes;
  X11DesktopWatch* x11 = nullptr;
};

// The presentation options' full-screen bit.
inline constexpr qint64 fullScreenPresentation = 1024;
// The content size the report proposes a panel frame for.
inline constexpr double proposedPanelWidth = 420;
inline constexpr double proposedPanelHeight = 196;

QJsonObject rect(const Rect& rect);
// As the delivery confirmation reads it: the panel is visible, on the active workspace and not
// covered; a desktop that cannot tell counts as seen.
bool panelSeen(const Sources& sources, const PanelController& panel);
// The panel holds the X input focus.
bool panelIsKey(const Sources& sources, const PanelController& panel);
// The report now; with a panel, its "panel" object too.
QJsonObject snapshot(const Sources& sources, const PanelController* panel = nullptr);
// Pretty-printed with sorted keys and a line feed on `out`, flushed. A value JSON cannot carry
// (a number that is not finite) writes "Cannot encode diagnostics: " and the reason on `err`
// instead, and nothing on `out`; false then.
bool printJSON(const QJsonObject& report, std::FILE* out = stdout, std::FILE* err = stderr);

} // namespace Diagnostics

} // namespace brindlewick
