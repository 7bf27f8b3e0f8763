#pragma once

#include "model/ReaderTab.h"
#include "ui/design/UiEnvironment.h"

#include <QColor>

namespace brindlewick {

// The accent of each page of the reader window: its sidebar row's symbol and selected glass.
// The library's pages (discover, history, read) share one accent.
QColor tint(ReaderTab tab, ColorScheme scheme);

} // namespace brindlewick
