#include "app/LaunchUsage.h"

#include "app/LaunchHelp.h"
#include "app/LaunchMode.h"
#include "app/LaunchRequest.h"

#include <algorithm>

namespace brindlewick::LaunchUsage {

namespace {

bool isKnownSwitch(const QString& argument) {
  const auto equal = [&argument](QStringView known) { return argument == known; };
  return std::any_of(diagnosticSwitches.cbegin(), diagnosticSwitches.cend(), equal) ||
         std::any_of(helpSwitches.cbegin(), helpSwitches.cend(), equal) || argument == versionSwitch ||
         argument == checkStartSwitch;
}

QString mistake(const QString& what) {
  return QStringLiteral("brindlewick: ") + what + QLatin1Char('\n') + launchUsageLine() +
         QStringLiteral("Try 'brindlewick --help' for more information.\n");
}

} // namespace

std::optional<QString> error(const QStringList& arguments) {
  const QStringList given = arguments.mid(1);
  for (const QString& argument : given) {
    // Anything else is a link, which the running copy judges.
    if (!argument.startsWith(u'-'))
      continue;
    if (LaunchRequest::actionForArgument(argument)) {
      if (given.size() > 1)
        return mistake(QStringLiteral("'%1' takes no other arguments").arg(argument));
      continue;
    }
    if (!isKnownSwitch(argument))
      return mistake(QStringLiteral("unknown option '%1'").arg(argument));
  }
  return std::nullopt;
}

} // namespace brindlewick::LaunchUsage
