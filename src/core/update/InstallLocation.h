#pragma once

#include <QString>

#include <optional>

namespace brindlewick {

// Where a replaceable install keeps the program and where an update works beside it.
//
// An install (per user with `cmake --install --prefix ~/.local`, or an unpacked release
// archive) is self-contained in one program folder, <prefix>/lib/brindlewick, holding the
// executable and its configuration; <prefix>/bin/brindlewick is a relative link into it. An
// update is unpacked into a staging folder beside the program folder and swapped in by
// rename; the folder it replaces is kept as the previous one until the new program has
// started. Everything an update leaves beside the program folder is hidden (a leading dot).
struct InstallLocation {
  static inline const QString programFolderName = QStringLiteral("brindlewick");
  static inline const QString libFolderName = QStringLiteral("lib");
  static inline const QString previousName = QStringLiteral(".brindlewick-previous");
  static inline const QString stagingPrefix = QStringLiteral(".brindlewick-update-");
  static inline const QString lockName = QStringLiteral(".brindlewick-update.lock");

  // <prefix>/lib/brindlewick, canonical.
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
  QString lockPath() const;
  QString executable() const;
};

} // namespace brindlewick
