#pragma once

#include "app/QtCommandLine.h"

#include <QString>

#include <functional>
#include <optional>

namespace brindlewick {

// Whether the reader can start at all: the application object aborts the process (a core dump)
// when its platform finds no display, so the start asks first, before making it.
namespace GraphicalSession {

// Reads one environment variable; empty when unset.
using Environment = std::function<QString(const char* name)>;
QString processEnvironment(const char* name);

// Why the platform Qt would choose (the command line's -platform, else QT_QPA_PLATFORM, else
// X11, and Wayland too in a Wayland session) finds no display, or nothing when one of its
// choices can reach one. An X display named but not answering counts as none; platforms that
// need no display (offscreen, minimal, vnc, …) always can.
std::optional<QString> missingDisplay(const QtCommandLine& commandLine, const Environment& environment);

// What a start without a display writes to standard error before it exits with status 1.
QString refusal(const QString& reason);
inline constexpr int refusalExitStatus = 1;

} // namespace GraphicalSession

} // namespace brindlewick
