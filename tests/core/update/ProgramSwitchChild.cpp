// Switches the program folder of an install and ends itself (SIGKILL) right after the step it
// is told, for ProgramSwitchTests to look at what a kill at that instant leaves.
// Arguments: <program> <incoming folder> <keep|discard> <exchange|no-exchange> <step to die after, 0 for
// none>
#include "update/InstallLocation.h"
#include "update/KilledSwitch.h"
#include "update/ProgramSwitch.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextStream>

using namespace brindlewick;

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 6)
    return 2;
  const std::optional<InstallLocation> location = InstallLocation::of(arguments[1]);
  if (!location)
    return 3;
  const int dieAfter = arguments[5].toInt();
  int steps = 0;
  const ProgramSwitch::Steps seams =
      testing::killedSwitchSteps(arguments[4] != QLatin1String("no-exchange"), dieAfter, steps);
  // Left behind by a kill, as an installer's staging folder would be.
  QTemporaryDir discard(location->stagingTemplate());
  discard.setAutoRemove(false);
  try {
    ProgramSwitch::putInPlace(*location, arguments[2], arguments[3] == QLatin1String("keep"), discard.path(),
                              seams);
  } catch (const ProgramSwitchError& error) {
    QTextStream(stderr) << error.message() << "\n";
    return 1;
  }
  discard.remove();
  QTextStream(stdout) << steps << "\n";
  return 0;
}
