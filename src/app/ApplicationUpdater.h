#pragma once

#include "model/FeedUpdater.h"

#include <QString>

#include <memory>

namespace brindlewick {

class SystemEvents;

// The updater of the running program: its feed and downloads trust what the service client
// trusts (the stand-in's authority in a development build), the archive waits in this user's
// cache while it is checked, a hand-off keeps it in the Downloads folder, and the installer
// works on the running executable.
std::unique_ptr<FeedUpdater> makeApplicationUpdater(SystemEvents* events, const QString& configurationFile);

} // namespace brindlewick
