#include "UpdateArchive.h"

#include "TarGzBuilder.h"

#include "update/StartCheck.h"

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
  // reading. It answers the updater's start check, so it is swapped in; started for real it
  // only prints this line and ends, so the copy that restarted into it puts the real program
  // back and says that the update did not start. Should nothing wait for it, the line says how
  // to get the real program back.
  QByteArray answer = StartCheck::answer(version).trimmed().toUtf8();
  answer.replace('\'', "'\\''");
  builder.addFile(
      top + "lib/brindlewick/brindlewick",
      "#!/bin/sh\nif [ \"$1\" = '" + StartCheck::switchName.toUtf8() + "' ]; then echo '" + answer +
          "'; exit 0; fi\necho 'Brindlewick " + shellText +
          ": the sample update of the stand-in reading service, not a working Brindlewick. "
          "Install the real program again with: cmake --install build-run --prefix <this folder>'\n",
      0755);
  builder.addFile(top + "lib/brindlewick/brindlewick-configuration.json",
                  QJsonDocument(configuration).toJson());
  builder.addLink(top + "bin/brindlewick", "../lib/brindlewick/brindlewick");
  return builder.archive();
}

} // namespace brindlewick
