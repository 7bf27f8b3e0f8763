#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <optional>

namespace brindlewick {

// What a menu entry does. The application's own commands act on the model and the reader
// window; the standard ones go to the focused widget or the active window.
enum class MenuCommand {
  none, // a submenu's title
  // The application's commands.
  discover,
  show,
  library,
  settings,
  sync,
  focusReader,
  pause,
  dismiss,
  love,
  openSupport,
  quit,
  // Standard commands.
  about,
  hide,
  undo,
  redo,
  cut,
  copy,
  paste,
  selectAll,
  minimize,
  zoom,
  close,
};

// The idea the menus act on: the one in the card while the card is up, else the one on the
// read page.
struct SelectedIdea {
  bool loved = false;
  bool readable = true;
};

// Everything the menus depend on, read from the model (or its absence) when a menu opens or a
// command fires.
struct MenuState {
  bool hasModel = false;
  bool storageHealthy = false;
  bool signedIn = false;
  bool hasStoredSession = false;
  bool paused = false;
  // The card's panel or the teaser's is on screen.
  bool panelVisible = false;
  bool collectionBusy = false;
  bool hasSupportURL = false;
  std::optional<SelectedIdea> selectedIdea;
};

// One row of a menu: a separator, or a titled command with its shortcut and whether it may run.
struct MenuEntry {
  QString title;
  MenuCommand command = MenuCommand::none;
  QKeySequence shortcut;
  bool enabled = true;
  bool separator = false;

  static MenuEntry separatorEntry() { return MenuEntry{{}, MenuCommand::none, {}, true, true}; }
  friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

// A top-level menu of the reader window's menu bar.
struct MenuSection {
  QString title;
  QList<MenuEntry> entries;
};

namespace ReaderMenus {

// A command key as the menus write it: Ctrl with the key; an upper-case letter adds Shift.
QKeySequence commandKey(QChar key);

// Whether `command` may run now. Checked again when a command fires, since a shortcut runs
// it without its menu opening.
bool isEnabled(MenuCommand command, const MenuState& state);

// "Resume delivery" while paused, else "Pause delivery".
QString pauseTitle(const MenuState& state);
// What the love entry says before a menu ever retitles it.
inline const QString initialLoveTitle = QStringLiteral("Love idea");
// "Unlove idea" for a loved selected idea, else "Love idea". Without a model or a selected
// idea there is nothing to name: the entry keeps `shown`, the title it carries now.
QString loveTitle(const MenuState& state, const QString& shown = initialLoveTitle);
// "Show Drop" when a drop can be asked for, else "Sign in / Open Brindlewick".
QString showTitle(const MenuState& state);
// A drop can be asked for: a model with healthy storage and a signed-in reader.
bool canRequestDrop(const MenuState& state);

// The tray icon's menu, rebuilt each time it opens.
QList<MenuEntry> statusMenu(const MenuState& state);
// The reader window's menu bar; `loveShown` is the love entry's title as the bar shows it now.
QList<MenuSection> mainMenu(const MenuState& state, const QString& loveShown = initialLoveTitle);

} // namespace ReaderMenus

} // namespace brindlewick
