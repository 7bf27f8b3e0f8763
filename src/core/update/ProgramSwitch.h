#pragma once

#include "update/InstallLocation.h"

#include <QString>

#include <functional>
#include <stdexcept>

namespace brindlewick {

// A switch of the program folder that could not be made; what was in place still is.
class ProgramSwitchError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
  QString message() const { return QString::fromUtf8(what()); }
};

// Puts another program folder in place of the installed one so that the command
// (<prefix>/bin/brindlewick) starts a whole program, the old one or the new one, at every
// instant: a process killed between any two steps, or a power loss, never leaves it without
// one.
//
// - A real program folder is exchanged with the new one in one step (renameat2), where the
//   filesystem can.
// - Where it cannot (some network and FUSE filesystems), the command is first pointed at the
//   new folder itself, the old folder is moved aside, the program folder's name becomes a link
//   to the new folder, and the command gets its usual text back. From then on the program
//   folder is a link, and a switch is one rename of a new link over it.
//
// A start finishes a switch that was cut short (repair()), so nothing stays half done.
namespace ProgramSwitch {

// How the names are changed; tests refuse the exchange and end the process after a step.
struct Steps {
  // Exchanges two names in one step: 0, or -1 with errno set (EINVAL or ENOSYS where the
  // filesystem cannot).
  std::function<int(const QString& first, const QString& second)> exchange;
  // Called after each step that changed a name, numbered from 1 in the order they happen.
  std::function<void(int step)> done;
};

Steps systemSteps();

// Puts the program folder `incoming` (anywhere under the lib folder) in place. With
// `keepReplaced`, the folder it replaces becomes the previous folder (a link to it where the
// program folder is a link), whose name must be free; otherwise it goes into `discardFolder`
// (a staging folder, removed with it). The folder that is worth keeping never waits inside a
// staging folder. Returns the path that now holds the replaced folder. Throws
// ProgramSwitchError; then the program in place is still the old one.
QString putInPlace(const InstallLocation& location, const QString& incoming, bool keepReplaced,
                   const QString& discardFolder, const Steps& steps = systemSteps());

// The folder the program folder's name leads to now (itself when it is a real folder).
QString currentFolder(const InstallLocation& location);

// Completes a switch that a killed process left with the command leading into a hidden folder
// directly. A folder it moves aside goes to the previous folder's name when that is free, else
// into `discardFolder`. Returns whether there was anything to complete.
bool repair(const InstallLocation& location, const QString& discardFolder, const Steps& steps = systemSteps());

} // namespace ProgramSwitch

} // namespace brindlewick
