#pragma once

#include "update/InstallLocation.h"
#include "update/ProgramSwitch.h"
#include "update/UpdateRestart.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace brindlewick {

// An update that is installed but not yet in place. The installer leaves the checked program
// folder beside the program folder (InstallLocation::stagedFolder()) and changes nothing else:
// the command keeps starting the version the reader had. The next start of that version, once
// it is the one running copy (and a "Restart now" is such a start), swaps the staged folder in
// on trial, starts the new program and waits for its word; a new program that does not come up
// is put back with its reason. So whoever starts the program, and whatever the new one does,
// a version that does not come up never keeps the command.
namespace StagedUpdate {

// Moves the checked program folder `program` to the staged name, in place of one staged before.
// The update lock must be held. Throws std::runtime_error; then nothing new is staged.
void stage(const InstallLocation& location, const QString& program, const QString& discardFolder);

// Whether an update waits for the start of the program at `executablePath`.
bool waitingFor(const QString& executablePath);

// Swaps the staged folder in on trial (UpdateTrial), under the update lock. Returns the new
// program to start; none when nothing is staged or it could not be put in place (then the
// staged folder goes, and the running version stays).
std::optional<QString> swapIn(const InstallLocation& location,
                              const ProgramSwitch::Steps& steps = ProgramSwitch::systemSteps());

// The whole of it for the program at `executablePath`, which has let go of the reader: swaps
// the staged version in, starts it with `arguments` and watches it come up. Returns the program
// to start in this one's place (the version put back, or the one that stayed); none once the new
// version is up. Blocking.
std::optional<QString> startAndWatch(const QString& executablePath, const QStringList& arguments,
                                     std::chrono::milliseconds limit = UpdateRestart::defaultWordLimit,
                                     const ProgramSwitch::Steps& steps = ProgramSwitch::systemSteps());

} // namespace StagedUpdate

} // namespace brindlewick
