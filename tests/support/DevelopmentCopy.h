#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

namespace brindlewick {

// Sets up the application built with the development trust as a newcomer's build would run
// it against a stand-in: the program copied into `folder`, beside the configuration file it
// reads, which names `base` and the stand-in's authority (written there as ca.pem), and holds
// `entries` besides (the update feed and its key, say). Returns the copy's path, or an empty
// string when the folder could not be set up.
QString installDevelopmentCopy(const QString& builtProgram, const QString& folder, const QUrl& base,
                               const QByteArray& authorityPem, const QJsonObject& entries = {});

} // namespace brindlewick
