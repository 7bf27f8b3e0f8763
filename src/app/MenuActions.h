#pragma once

#include "app/ReaderMenus.h"

#include <functional>

class QMenu;
class QMenuBar;

namespace brindlewick {

// Puts the pure menu models into Qt menus. Qt asks no one whether an entry may run, so a menu
// is filled again from its model each time it is about to open, and every command is checked
// again when it fires (a shortcut fires without its menu opening).
namespace MenuActions {

using Perform = std::function<void(MenuCommand)>;

// Replaces the menu's actions with `entries`; each action runs `perform` with its command.
void fill(QMenu& menu, const QList<MenuEntry>& entries, const Perform& perform);

// Fills `bar` with one menu per section of `sections()`; each menu takes its section afresh
// when it opens. Between openings every action stays enabled, so that its shortcut reaches
// `perform`, which decides.
void install(QMenuBar& bar, std::function<QList<MenuSection>()> sections, Perform perform);

} // namespace MenuActions

} // namespace brindlewick
