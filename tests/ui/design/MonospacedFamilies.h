#pragma once

#include "ui/design/DropFonts.h"

#include <QString>

namespace brindlewick::testing {

// Monospaced families whose lines differ in height, each from a Debian package that
// scripts/install-deps installs: DejaVu Sans Mono (fonts-dejavu-core), Noto Sans Mono
// (fonts-noto-mono, which printing brings, and which then is the desktop's) and Liberation
// Mono (fonts-liberation2). A laid-out line of the last two is a pixel taller than their
// rounded ascent and descent; a line of the first is not.
inline constexpr const char* monospacedFamilies[] = {"DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono"};

// Stands `family` in for the desktop's monospaced font while it lives (views take it as they
// are built); empty keeps the desktop's.
class MonospacedFamily {
public:
  explicit MonospacedFamily(const QString& family) { DropFonts::setMonospacedFamily(family); }
  ~MonospacedFamily() { DropFonts::setMonospacedFamily({}); }
  MonospacedFamily(const MonospacedFamily&) = delete;
  MonospacedFamily& operator=(const MonospacedFamily&) = delete;
};

} // namespace brindlewick::testing
