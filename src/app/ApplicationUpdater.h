#pragma once

#include "model/FeedUpdater.h"

#include <QString>

#include <functional>
#include <memory>

namespace brindlewick {

class SystemEvents;

// The updater of the running program: its feed and downloads trust what the service client
// trusts (the stand-in's authority in a development build), the archive waits in this user's
// cache while it is checked, a hand-off keeps it in the Downloads folder, and the installer
// works on the running executable.
// `trust` gives the client options for the build configuration read from `configurationFile`
// (the development build's DevelopmentTrust::clientOptions); a configuration that cannot be
// read, or whose authority cannot serve, leaves the system's authorities alone.
using UpdaterTrust = std::function<NativeAPIClient::Options(const QJsonObject& configuration)>;
std::unique_ptr<FeedUpdater> makeApplicationUpdater(SystemEvents* events, const UpdaterTrust& trust,
                                                    const QString& configurationFile);

} // namespace brindlewick
