// Swaps the staged update of an install in, as the next start of the running version does, and
// ends itself (SIGKILL) right after the step it is told, for StagedUpdateTests to look at what
// a kill at that instant leaves.
// Arguments: <command> <exchange|no-exchange> <step to die after, 0 for none>
#include "update/InstallLocation.h"
#include "update/KilledSwitch.h"
#include "update/StagedUpdate.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace brindlewick;

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 4)
    return 2;
  const std::optional<InstallLocation> location = InstallLocation::of(arguments[1]);
  if (!location)
    return 3;
  const int dieAfter = arguments[3].toInt();
  int steps = 0;
  const ProgramSwitch::Steps seams =
      testing::killedSwitchSteps(arguments[2] != QLatin1String("no-exchange"), dieAfter, steps);
  if (!StagedUpdate::swapIn(*location, seams))
    return 1;
  QTextStream(stdout) << steps << "\n";
  return 0;
}
