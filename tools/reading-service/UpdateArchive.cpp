#include "UpdateArchive.h"

#include "TarGzBuilder.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace brindlewick {

QByteArray sampleUpdateArchive(const QString& version) {
  const QByteArray top = "brindlewick-" + version.toUtf8() + "-Linux/";
  // Within single quotes a shell takes everything literally but a quote, written '\''.
  QByteArray shellText = version.toUtf8();
  shellText.replace('\'', "'\\''");
  const QJsonObject configuration{{QStringLiteral("BrindlewickAPIBaseURL"), QString()},
                                  {QStringLiteral("BrindlewickSupportURL"), QString()},
                                  {QStringLiteral("CFBundleShortVersionString"), version}};
  TarGzBuilder builder;
  builder.addFolder(top);
  builder.addFolder(top + "bin/");
  builder.addFolder(top + "lib/");
  builder.addFolder(top + "lib/brindlewick/");
  // A program that says what it is: the stand-in's release is for trying the updater, not for
  // reading. Whoever installed it in place of the real program (and sees only this line after
  // "Restart now") learns how to get that back.
  builder.addFile(top + "lib/brindlewick/brindlewick",
                  "#!/bin/sh\necho 'Brindlewick " + shellText +
                      ": the sample update of the stand-in reading service, not a working Brindlewick. "
                      "Install the real program again with: cmake --install build --prefix <this folder>'\n",
                  0755);
  builder.addFile(top + "lib/brindlewick/brindlewick-configuration.json",
                  QJsonDocument(configuration).toJson());
  builder.addLink(top + "bin/brindlewick", "../lib/brindlewick/brindlewick");
  return builder.archive();
}

} // namespace brindlewick
