#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brindlewick {

// What the program's own arguments may be, checked before anything starts: an option it does
// not know, or a launcher action given with other arguments, is a mistake the shell user is
// told of, not a start that does nothing.
namespace LaunchUsage {

inline constexpr int errorExitStatus = 2;

// The text for standard error when `arguments` (the program path first, Qt's options already
// taken out: QtCommandLine) are not a command line the program takes: what is wrong, the usage
// line and where to read more. Nothing when they are.
std::optional<QString> error(const QStringList& arguments);

} // namespace LaunchUsage

} // namespace brindlewick
