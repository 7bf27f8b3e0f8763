#pragma once

#include "update/InstallFolders.h"
#include "update/InstallLocation.h"

#include <QString>

#include <optional>

namespace brindlewick {

// A swapped-in program on trial until it has really started. The start that swaps a staged
// update in (update/StagedUpdate.h) writes a small record beside the program folder before the
// swap: the new folder, the one to put back, and which start is trying it. Every start reads it
// first thing (before any display), so a new version that exits, crashes or stops at its
// start-up alert gets the previous folder put back, by the copy that waits for its word or,
// where a kill cut that copy short, by the new version's own start or the next one; and the
// version put back tells the reader. The record and every change of it are under the update
// lock beside the program folder.
class UpdateTrial {
public:
  struct Record {
    enum class State { trial, failed };
    State state = State::trial;
    // The version on trial, or the one that did not start.
    QString version;
    // trial: the folder now in place and the one to put back.
    std::optional<InstallFolders::Identity> folder;
    std::optional<InstallFolders::Identity> fallback;
    // trial: the start trying it (process and the kernel's start time of it).
    std::optional<qint64> attemptPid;
    std::optional<quint64> attemptStart;
    // failed: why.
    QString reason;
  };

  // What an update that did not start left for the version put back to say.
  struct NotStarted {
    QString version;
    QString reason;
  };

  enum class Verdict {
    // No program on trial: this start is an ordinary one.
    ordinary,
    // This program is on trial: confirm() once it has really started, or rollBack().
    onTrial,
    // An earlier start of this program on trial ended before it came up: rollBack() now.
    earlierStartFailed,
  };

  struct AtStart {
    Verdict verdict = Verdict::ordinary;
    // Left by a version that did not start, for this one to tell the reader (read once).
    std::optional<NotStarted> notStarted;
  };

  // `executablePath`: the running program.
  explicit UpdateTrial(QString executablePath);

  // First thing at start. Completes a switch cut short, then records this start as the one
  // trying a program on trial.
  AtStart begin();
  // This start handed its request to a copy already running: it tried nothing.
  void withdraw();
  // Once the program has really started: the record goes, and the folder it replaced. An
  // ordinary start removes a previous folder left by an install that kept no record.
  void confirm();
  // Puts the folder the program on trial replaced back in place and records why, for that
  // version to say. Returns the program to start now, or none when nothing could be put back.
  std::optional<QString> rollBack(const QString& reason);

  // The record beside `location`'s program folder; none when absent or unreadable.
  static std::optional<Record> read(const InstallLocation& location);
  // Throws std::runtime_error.
  static void write(const InstallLocation& location, const Record& record);
  static void remove(const InstallLocation& location);
  // Whether the program folder in place is on trial (so the previous folder is the one that
  // last started, and must stay).
  static bool pending(const InstallLocation& location);
  // Removes the previous folder (and the hidden folder it links to) unless the running
  // program or the program folder is that folder.
  static void removePrevious(const InstallLocation& location,
                             std::optional<InstallFolders::Identity> running);

private:
  std::optional<InstallLocation> m_location;
  std::optional<InstallFolders::Identity> m_running;
};

} // namespace brindlewick
