#pragma once

#include <QString>

#include <optional>

namespace brindlewick {

// Where a replaceable install keeps the program and where an update works beside it.
//
// An install (per user with `cmake --install --prefix ~/.local`, or an unpacked release
// archive) is self-contained in one program folder, <prefix>/lib/brindlewick, holding the
// executable and its configuration; <prefix>/bin/brindlewick is a relative link into it. An
// update is unpacked into a staging folder beside the program folder and, once checked, waits
// as the staged folder until a start of the running version swaps it in and watches it come up;
// the folder it replaces is kept as the previous one until the new program has really started.
// Where the filesystem cannot exchange two folders in one step, the program folder becomes a
// link to a hidden folder beside it, switched in one rename from then on. Everything an
// update leaves beside the program folder is hidden (a leading dot).
struct InstallLocation {
  static inline const QString programFolderName = QStringLiteral("brindlewick");
  static inline const QString libFolderName = QStringLiteral("lib");
  static inline const QString binFolderName = QStringLiteral("bin");
  static inline const QString previousName = QStringLiteral(".brindlewick-previous");
  static inline const QString stagingPrefix = QStringLiteral(".brindlewick-update-");
  static inline const QString hiddenProgramPrefix = QStringLiteral(".brindlewick-program-");
  static inline const QString lockName = QStringLiteral(".brindlewick-update.lock");
  static inline const QString trialName = QStringLiteral(".brindlewick-trial");
  static inline const QString stagedName = QStringLiteral(".brindlewick-staged");

  // <prefix>/lib/brindlewick (the name: a folder, or a link to a hidden one beside it).
  QString programFolder;
  // <prefix>/lib, canonical.
  QString libFolder;
  // The executable's file name in the program folder.
  QString executableName;

  // The install `executablePath` runs from, when it is one this user may replace: the
  // layout above, the program folder and its parent owned and writable by this user, and not
  // the package manager's /usr. A build tree, a system-wide install or a path that does not
  // exist give none.
  static std::optional<InstallLocation> of(const QString& executablePath);

  QString previousFolder() const;
  QString stagingTemplate() const;
  QString hiddenProgramTemplate() const;
  QString lockPath() const;
  QString trialPath() const;
  // The checked program folder of an update that waits for the next start ("Later").
  QString stagedFolder() const;
  // <prefix>/lib/brindlewick/<executable>, through the program folder's name.
  QString executable() const;
  // <prefix>/bin/<executable>: the command, a relative link into the program folder.
  QString command() const;
  // The command link's usual text, "../lib/brindlewick/<executable>".
  QString commandText() const;
  // What the command link holds while it leads into the hidden folder `hiddenName` directly.
  QString commandTextInto(const QString& hiddenName) const;
};

} // namespace brindlewick
