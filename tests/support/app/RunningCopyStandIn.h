#pragma once

#include <QLocalServer>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace brindlewick::testing {

// A home of a test's own in which a copy of the program seems to run already: a server listens
// where the running copy would. A program started in environment() that hands anything to the
// running copy is caught by wasContacted().
class RunningCopyStandIn {
public:
  RunningCopyStandIn();

  // False when the home or the listening socket could not be made.
  bool ok() const { return m_listening; }
  // HOME and the XDG folders in the stand-in's home, the sanitizers' options passed on; no
  // display.
  QProcessEnvironment environment() const;
  // Whether a program connected since the last call (waiting a moment for one on its way).
  bool wasContacted();

private:
  QTemporaryDir m_home;
  QLocalServer m_running;
  bool m_listening = false;
};

} // namespace brindlewick::testing
