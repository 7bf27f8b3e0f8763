#pragma once

#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

namespace brindlewick {

// Whether an unpacked program starts, asked before it replaces the running one. The program,
// run with the check switch, loads its libraries and its configuration (everything its real
// start reads from it) and answers one line, without a display, the reader's files, the
// keyring or the running copy; anything else (another status, a signal, a wrong answer, no
// answer in time) means it would not start.
namespace StartCheck {

inline constexpr QStringView switchName = u"--check-start";

// How long a program may take to answer; its real start does more than this, at once.
inline constexpr std::chrono::milliseconds defaultLimit{30000};

// The one line a program that can start writes to standard output.
QString answer(const QString& version);

// Runs `executable` with the check switch. None when it answered for `version`; otherwise
// why it would not start ("it was ended by signal 11 (Segmentation fault)", with what it wrote
// on standard error). Blocking: call it off the main thread.
std::optional<QString> run(const QString& executable, const QString& version,
                           std::chrono::milliseconds limit = defaultLimit);

} // namespace StartCheck

} // namespace brindlewick
