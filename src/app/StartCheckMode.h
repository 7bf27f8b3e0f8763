#pragma once

#include "app/ApplicationUpdater.h"

#include <QString>

#include <optional>

namespace brindlewick {

// What the program does when the updater asks whether it starts (LaunchMode::checkStart):
// everything of a real start that depends on the program itself and not on the reader. Its
// libraries are loaded by the time main() runs; here it reads its configuration as the real
// start does (the addresses, the version, the updater's pair and, in a development build, the
// certificate authority it names). No display, running copy, keyring or file of the reader's.
namespace StartCheckMode {

// Why a start with the configuration at `configurationFile` would stop, or none. `trust` is
// the development build's DevelopmentTrust::clientOptions.
std::optional<QString> problem(const QString& configurationFile, const UpdaterTrust& trust);

// Writes StartCheck::answer() to standard output and returns 0, or the problem to standard
// error and returns 1. Needs a QCoreApplication (never a GUI one).
int run(const UpdaterTrust& trust);

} // namespace StartCheckMode

} // namespace brindlewick
