#include "app/ReaderMenus.h"

namespace brindlewick::ReaderMenus {

namespace {

MenuEntry entry(const QString& title, MenuCommand command, std::optional<QChar> key, const MenuState& state) {
  return MenuEntry{title, command, key ? commandKey(*key) : QKeySequence(), isEnabled(command, state), false};
}

} // namespace

QKeySequence commandKey(QChar key) {
  const QString text =
      key.isUpper() ? QStringLiteral("Ctrl+Shift+") + key : QStringLiteral("Ctrl+") + key.toUpper();
  return QKeySequence(text, QKeySequence::PortableText);
}

bool canRequestDrop(const MenuState& state) {
  return state.hasModel && state.storageHealthy && state.signedIn;
}

bool isEnabled(MenuCommand command, const MenuState& state) {
  switch (command) {
  case MenuCommand::focusReader:
  case MenuCommand::dismiss: return state.hasModel && state.panelVisible;
  case MenuCommand::pause: return state.hasModel && state.signedIn;
  case MenuCommand::love:
    return state.hasModel && state.selectedIdea && state.selectedIdea->readable && !state.collectionBusy;
  case MenuCommand::openSupport: return state.hasModel && state.hasSupportURL;
  default: return true;
  }
}

QString pauseTitle(const MenuState& state) {
  return state.paused ? QStringLiteral("Resume delivery") : QStringLiteral("Pause delivery");
}

QString loveTitle(const MenuState& state, const QString& shown) {
  if (!state.hasModel || !state.selectedIdea)
    return shown;
  return state.selectedIdea->loved ? QStringLiteral("Unlove idea") : QStringLiteral("Love idea");
}

QString showTitle(const MenuState& state) {
  return canRequestDrop(state) ? QStringLiteral("Show Drop") : QStringLiteral("Sign in / Open Brindlewick");
}

QList<MenuEntry> statusMenu(const MenuState& state) {
  const bool syncShown = state.hasModel && state.hasStoredSession;
  QList<MenuEntry> entries{
      entry(QStringLiteral("Open Brindlewick"), MenuCommand::discover, u'o', state),
      entry(showTitle(state), MenuCommand::show, u'n', state),
      entry(QStringLiteral("Focus reader for keyboard"), MenuCommand::focusReader, u'R', state),
      entry(QStringLiteral("Saved ideas"), MenuCommand::library, u'l', state),
  };
  entries.append(MenuEntry::separatorEntry());
  if (syncShown)
    entries.append(entry(QStringLiteral("Sync Now"), MenuCommand::sync, u'r', state));
  entries.append({entry(QStringLiteral("Settings"), MenuCommand::settings, u',', state),
                  entry(pauseTitle(state), MenuCommand::pause, u'p', state),
                  entry(QStringLiteral("Dismiss reader"), MenuCommand::dismiss, u'D', state),
                  MenuEntry::separatorEntry(),
                  entry(QStringLiteral("Quit Brindlewick"), MenuCommand::quit, u'q', state)});
  return entries;
}

QList<MenuSection> mainMenu(const MenuState& state, const QString& loveShown) {
  const MenuEntry separator = MenuEntry::separatorEntry();
  const auto none = std::nullopt;
  return {
      {QStringLiteral("Brindlewick"),
       {entry(QStringLiteral("About Brindlewick"), MenuCommand::about, none, state), separator,
        entry(QStringLiteral("Settings"), MenuCommand::settings, u',', state),
        entry(QStringLiteral("Sync Now"), MenuCommand::sync, u'r', state), separator,
        entry(QStringLiteral("Hide Brindlewick"), MenuCommand::hide, u'h', state), separator,
        entry(QStringLiteral("Quit Brindlewick"), MenuCommand::quit, u'q', state)}},
      {QStringLiteral("Edit"),
       {entry(QStringLiteral("Undo"), MenuCommand::undo, u'z', state),
        entry(QStringLiteral("Redo"), MenuCommand::redo, u'Z', state), separator,
        entry(QStringLiteral("Cut"), MenuCommand::cut, u'x', state),
        entry(QStringLiteral("Copy"), MenuCommand::copy, u'c', state),
        entry(QStringLiteral("Paste"), MenuCommand::paste, u'v', state),
        entry(QStringLiteral("Select All"), MenuCommand::selectAll, u'a', state)}},
      {QStringLiteral("View"),
       {entry(QStringLiteral("Discover ideas"), MenuCommand::discover, u'o', state),
        entry(QStringLiteral("Show Drop"), MenuCommand::show, u'n', state),
        entry(QStringLiteral("Saved ideas"), MenuCommand::library, u'l', state),
        entry(loveTitle(state, loveShown), MenuCommand::love, u'L', state),
        entry(QStringLiteral("Focus reader for keyboard"), MenuCommand::focusReader, u'R', state),
        entry(pauseTitle(state), MenuCommand::pause, u'p', state),
        entry(QStringLiteral("Dismiss reader"), MenuCommand::dismiss, u'D', state)}},
      {QStringLiteral("Window"),
       {entry(QStringLiteral("Minimize"), MenuCommand::minimize, u'm', state),
        entry(QStringLiteral("Zoom"), MenuCommand::zoom, none, state),
        entry(QStringLiteral("Close"), MenuCommand::close, u'w', state)}},
      {QStringLiteral("Help"),
       {entry(QStringLiteral("Brindlewick Support"), MenuCommand::openSupport, u'?', state)}},
  };
}

} // namespace brindlewick::ReaderMenus
