#pragma once

#include <QString>

#include <optional>

class QProcess;

namespace brindlewick {

// What the program keeps under the reader's folders is the reader's alone: folders 0700,
// files 0600, whatever umask the session gives. Each writer creates its files this way and
// tightens what an earlier version left open when it first opens them; the process umask set
// at start catches any writer of a library underneath. Modes are only ever narrowed: what
// the reader made read-only stays read-only.
namespace PrivateFiles {

// Every file and folder the process creates from now on is its user's alone (umask 077);
// programs it starts (a browser, a mail client) keep the umask the session gave it when they
// are forked the usual way (QProcess::startDetached, QDesktopServices). Call once, first thing
// in main, before any thread exists.
void restrictNewFiles();

// QProcess::start spawns without the usual fork handlers: a program started that way gets
// the session's umask only through this (it replaces the process's child modifier).
void giveSessionUmask(QProcess& process);

// Creates `folder` and every missing folder above it with mode 0700; folders that exist keep
// their mode (a parent such as ~/.config is the reader's, not ours). None when the folder
// exists afterwards, else why not ("Permission denied").
std::optional<QString> createFolder(const QString& folder);

// createFolder, then takes from `folder` itself whatever the group and others may do: for
// a folder that holds nothing but the program's own files.
std::optional<QString> makePrivateFolder(const QString& folder);

// Creates an empty file with mode 0600 unless something is already there. None when the
// file exists afterwards, else why not.
std::optional<QString> createPrivateFile(const QString& file);

// Takes from an existing file or folder whatever the group and others may do, never through
// a symbolic link: a link at `path` is left, and what it points to keeps its mode (logged).
// True when `path` is private afterwards, does not exist, or is such a link.
bool tighten(const QString& path);

// The system's description of an errno value, such as "Permission denied".
QString describe(int error);

} // namespace PrivateFiles

} // namespace brindlewick
