#pragma once

#include <QStringList>
#include <QStringView>

#include <array>

namespace brindlewick {

// What a start of the program does, chosen from its command line alone (no environment
// variable, no preference).
enum class LaunchMode {
  reader,      // the reading companion itself
  help,        // print what the program accepts and exit
  version,     // print the program's name and version and exit
  checkStart,  // the updater asks whether this program starts: load, answer, exit
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

// The switches that only print something and exit, before any display, running copy or
// account is touched. They win over every other argument, help over version.
inline constexpr std::array<QStringView, 2> helpSwitches = {u"--help", u"-h"};
inline constexpr QStringView versionSwitch = u"--version";
// Not for the reader, so not in the help: the updater runs a new program with it before the
// program replaces the running one (update/StartCheck.h). Like help and version it touches no
// display, running copy, keyring or file of the reader's.
inline constexpr QStringView checkStartSwitch = u"--check-start";

// The mode for a command line (the program path included, as main receives it). Matching is
// exact: case-sensitive, whole, nothing appended, so "--Diagnostics", "--diagnostics=1" and
// "-diagnostics" are no switches (the start refuses them as unknown options: LaunchUsage). Read a copy of
// argv taken before the application object exists: Qt removes its own options from argv, and with them a
// switch written where one of those options expects its value ("-style --diagnostics").
LaunchMode launchMode(const QStringList& arguments);

// The diagnostic modes run as an accessory of the desktop: no reader window, no single
// instance, no launcher entry. Every diagnostic switch, the refused ones included, makes a
// launch one; help, version and the start check are not launches at all.
bool isDiagnostic(LaunchMode mode);

} // namespace brindlewick
