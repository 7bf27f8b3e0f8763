#include "app/LaunchMode.h"

#include <algorithm>

namespace brindlewick {

LaunchMode launchMode(const QStringList& arguments) {
  const auto present = [&arguments](QStringView flag) {
    return std::any_of(arguments.cbegin(), arguments.cend(),
                       [flag](const QString& argument) { return argument == flag; });
  };
  if (std::any_of(helpSwitches.cbegin(), helpSwitches.cend(), present))
    return LaunchMode::help;
  if (present(versionSwitch))
    return LaunchMode::version;
  if (present(checkStartSwitch))
    return LaunchMode::checkStart;
  if (present(diagnosticSwitches[0]))
    return LaunchMode::diagnostics;
  if (present(diagnosticSwitches[1]))
    return LaunchMode::smokePanel;
  if (present(diagnosticSwitches[2]))
    return LaunchMode::feasibility;
  if (present(diagnosticSwitches[3]) || present(diagnosticSwitches[4]) || present(diagnosticSwitches[5]))
    return LaunchMode::refused;
  return LaunchMode::reader;
}

bool isDiagnostic(LaunchMode mode) {
  return mode != LaunchMode::reader && mode != LaunchMode::help && mode != LaunchMode::version &&
         mode != LaunchMode::checkStart;
}

} // namespace brindlewick
