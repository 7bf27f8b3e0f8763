#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

namespace brindlewick {

// A restart into a newly installed program, which must show that it really starts. Only one
// copy of the reader runs per user, so the copy that installed the update first lets go of
// everything (its windows, its model, its single instance), then starts the new program and
// waits for its word: "started" once its model is built and its window or tray is up, or why
// it failed. A new program that says it failed, ends without a word (an exit, a crash) or says
// nothing in time does not stay: the waiting copy puts the previous version back
// (UpdateTrial::rollBack()) and starts that again.
namespace UpdateRestart {

// Set by versions that quit at once after starting the new program: the new one waits for
// that process to end before it takes over.
inline constexpr const char* predecessorVariable = "BRINDLEWICK_TAKE_OVER_FROM";
// Names the descriptor on which the new program gives its word.
inline constexpr const char* wordVariable = "BRINDLEWICK_START_WORD";

// How long the new program may take to come up: its start may wait for the keyring to be
// unlocked (a minute) before it says that it could not.
inline constexpr std::chrono::milliseconds defaultWordLimit{120000};

// When this process was started to take over from another, waits until that one has ended,
// at most `limit` (the old copy quits at once; one that hangs does not keep the new one away
// for ever). Removes the variable so that nothing started from here inherits it. Blocking:
// call it at start, before the event loop runs.
void awaitPredecessor(std::chrono::milliseconds limit = std::chrono::seconds(15));

struct Handover {
  // The new program said it started, or that it handed its start to a copy already running.
  bool cameUp = false;
  // Otherwise why not: what it said, how it ended, or that it said nothing in time.
  QString failure;
};

// Starts `executable` (with `arguments`: the request of the start that let go for it) in the
// home folder and waits for its word, at most `limit`; a program still silent then is ended.
// Blocking: call it once this copy has let go of the reader.
Handover startAndWatch(const QString& executable, std::chrono::milliseconds limit = defaultWordLimit,
                       const QStringList& arguments = {});

// The new program's side of the word: the descriptor its starter named, if any, taken out of
// the environment so that nothing it starts inherits it. Each word is said at most once.
class StartWord {
public:
  static StartWord fromEnvironment();
  StartWord() = default;
  StartWord(StartWord&& other) noexcept;
  StartWord& operator=(StartWord&& other) noexcept;
  ~StartWord();

  // Whether a copy waits for this start's word.
  bool awaited() const { return m_fd >= 0; }
  void started();
  // This start gave its request to a copy already running.
  void handedOn();
  void failed(const QString& reason);

private:
  void say(const QByteArray& word);
  int m_fd = -1;
};

} // namespace UpdateRestart

} // namespace brindlewick
