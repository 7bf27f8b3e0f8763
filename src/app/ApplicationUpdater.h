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
// `restart` takes the program to start again once this copy has let go of the reader (main()
// then starts it, and that start puts the staged version in place), and answers whether it will.
using UpdaterTrust = std::function<NativeAPIClient::Options(const QJsonObject& configuration)>;
std::unique_ptr<FeedUpdater> makeApplicationUpdater(SystemEvents* events, const UpdaterTrust& trust,
                                                    const QString& configurationFile,
                                                    std::function<bool(const QString& executable)> restart);

} // namespace brindlewick
