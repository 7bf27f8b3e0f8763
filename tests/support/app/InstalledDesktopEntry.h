#pragma once

#include <QByteArray>
#include <QString>

namespace brindlewick::testing {

// desktop-file-validate where it is installed (desktop-file-utils), else empty.
QString desktopFileValidator();

// The validator accepts the entry at `path` without a hint or a warning. Call it only where
// desktopFileValidator() found one.
void expectValidDesktopEntry(const QString& validator, const QString& path);

// The value of `key` in the main group of the desktop entry at `path` (its actions' groups are
// not looked at); empty when the entry has none or cannot be read.
QString desktopEntryValue(const QString& path, const QByteArray& key);

// The launcher entry an install put under `prefix` passes the validator (where there is one)
// and names the icon installed beside it: an SVG that renders, and a PNG of each of the
// application icon's sizes, 48, 128 and 256 among them.
void expectInstalledEntryWithItsIcon(const QString& prefix);

} // namespace brindlewick::testing
