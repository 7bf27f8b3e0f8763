#include "UpdateArchive.h"

#include "TarGzBuilder.h"

namespace brindlewick {

QByteArray sampleUpdateArchive(const QString& version) {
  const QByteArray top = "brindlewick-" + version.toUtf8() + "-Linux/";
  TarGzBuilder builder;
  builder.addFolder(top);
  builder.addFolder(top + "bin/");
  builder.addFolder(top + "lib/");
  builder.addFolder(top + "lib/brindlewick/");
  // A program that says what it is: the stand-in's release is for trying the updater, not for
  // reading.
  builder.addFile(top + "lib/brindlewick/brindlewick",
                  "#!/bin/sh\necho 'Brindlewick " + version.toUtf8() +
                      ": the sample update of the stand-in reading service.'\n",
                  0755);
  builder.addFile(top + "lib/brindlewick/brindlewick-configuration.json",
                  "{\n  \"BrindlewickAPIBaseURL\": \"\",\n  \"BrindlewickSupportURL\": \"\",\n"
                  "  \"CFBundleShortVersionString\": \"" +
                      version.toUtf8() + "\"\n}\n");
  builder.addLink(top + "bin/brindlewick", "../lib/brindlewick/brindlewick");
  return builder.archive();
}

} // namespace brindlewick
