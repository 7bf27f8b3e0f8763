#pragma once

#include <QString>

namespace brindlewick {

// What `brindlewick --help` prints: how to start the program, the launcher actions, the
// diagnostic switches, the links it takes and that a later start hands its request to the
// running copy. Ends with a line feed.
QString launchHelpText();

// The help's first line, "Usage: …", with its line feed; also what a mistaken command line is
// shown.
QString launchUsageLine();

// What `brindlewick --version` prints for `version`: "Brindlewick " and the version, and a
// line feed.
QString launchVersionText(const QString& version);

} // namespace brindlewick
