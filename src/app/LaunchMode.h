#pragma once

#include <QStringList>
#include <QStringView>

#include <array>

namespace brindlewick {

// What a start of the program does, chosen from its command line alone (no environment
// variable, no preference).
enum class LaunchMode {
  reader,      // the reading companion itself
  diagnostics, // print the geometry report and exit
  smokePanel,  // show the panel as an automatic delivery would, sample it, exit with the verdict
  feasibility, // the panel with its test menu, until quit from there
  refused,     // a diagnostic that release builds refuse: its line on standard error, exit 2
};

// The diagnostic switches, in the order they are tested; the first one present wins.
inline constexpr std::array<QStringView, 6> diagnosticSwitches = {u"--diagnostics",   u"--smoke-panel",
                                                                  u"--feasibility",   u"--smoke-reader",
                                                                  u"--render-design", u"--smoke-layout"};

// What a refused switch writes to standard error before the process exits with status 2.
inline constexpr QStringView refusedDiagnosticsLine = u"Diagnostics are not available in release builds.\n";
inline constexpr int refusedExitStatus = 2;

// The mode for a command line (the program path included, as main receives it). Matching is
// exact: case-sensitive, whole, nothing appended, so "--Diagnostics", "--diagnostics=1" and
// "-diagnostics" are ordinary arguments. Read a copy of argv taken before the application
// object exists: Qt removes its own options from argv, and with them a switch written where
// one of those options expects its value ("-style --diagnostics").
LaunchMode launchMode(const QStringList& arguments);

// The diagnostic modes run as an accessory of the desktop: no reader window, no single
// instance, no launcher entry. Every switch, the refused ones included, makes a launch one.
bool isDiagnostic(LaunchMode mode);

} // namespace brindlewick
