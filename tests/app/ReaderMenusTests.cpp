#include "TestOutput.h"
#include "app/MenuActions.h"
#include "app/ReaderMenus.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// The titles in order, "-" for a separator.
QStringList titles(const QList<MenuEntry>& entries) {
  QStringList result;
  for (const MenuEntry& entry : entries)
    result.append(entry.separator ? QStringLiteral("-") : entry.title);
  return result;
}

const MenuEntry& find(const QList<MenuEntry>& entries, MenuCommand command) {
  for (const MenuEntry& entry : entries) {
    if (!entry.separator && entry.command == command)
      return entry;
  }
  throw std::runtime_error("no such entry");
}

MenuState signedIn() {
  MenuState state;
  state.hasModel = state.storageHealthy = state.signedIn = state.hasStoredSession = state.hasSupportURL =
      true;
  return state;
}

MenuState storedSessionSignedOut() {
  MenuState state = signedIn();
  state.signedIn = false;
  return state;
}

void render(QMenu& menu, const QString& name) {
  menu.ensurePolished();
  menu.adjustSize();
  const QPixmap pixmap = menu.grab();
  ASSERT_FALSE(pixmap.isNull());
  ASSERT_TRUE(pixmap.save(brindlewick::testing::testOutputPath(name)));
}

} // namespace

TEST(ReaderMenus, StatusMenuShowsSyncOnlyWithAStoredSessionAndNamesTheShowEntryByWhatItDoes) {
  MenuState paused = signedIn();
  paused.paused = true;
  EXPECT_EQ(
      titles(ReaderMenus::statusMenu(paused)),
      (QStringList{"Open Brindlewick", "Show Drop", "Focus reader for keyboard", "Saved ideas", "-",
                   "Sync Now", "Settings", "Resume delivery", "Dismiss reader", "-", "Quit Brindlewick"}));
  MenuState unhealthy = signedIn();
  unhealthy.storageHealthy = false;
  const struct {
    const char* name;
    MenuState state;
    bool sync;
  } rows[] = {{"no model", MenuState{}, false},
              {"stored session, signed out", storedSessionSignedOut(), true},
              {"storage failed", unhealthy, true}};
  for (const auto& row : rows) {
    const QStringList menu = titles(ReaderMenus::statusMenu(row.state));
    EXPECT_EQ(menu[1], "Sign in / Open Brindlewick") << row.name;
    EXPECT_EQ(menu.contains("Sync Now"), row.sync) << row.name;
    EXPECT_TRUE(menu.contains("Pause delivery")) << row.name;
  }
}

TEST(ReaderMenus, EntriesAreEnabledByTheModelState) {
  MenuState panelUp = signedIn();
  panelUp.panelVisible = true;
  MenuState noSupport = signedIn();
  noSupport.hasSupportURL = false;
  const struct {
    const char* name;
    MenuState state;
    MenuCommand command;
    bool enabled;
  } rows[] = {
      {"focus without a panel", signedIn(), MenuCommand::focusReader, false},
      {"focus with a panel", panelUp, MenuCommand::focusReader, true},
      {"pause signed in", signedIn(), MenuCommand::pause, true},
      {"pause signed out", storedSessionSignedOut(), MenuCommand::pause, false},
      {"support configured", signedIn(), MenuCommand::openSupport, true},
      {"support missing", noSupport, MenuCommand::openSupport, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ReaderMenus::isEnabled(row.command, row.state), row.enabled) << row.name;
    // The tray menu's entries carry the same rule.
    if (row.command != MenuCommand::openSupport) {
      EXPECT_EQ(find(ReaderMenus::statusMenu(row.state), row.command).enabled, row.enabled) << row.name;
    }
  }
}

TEST(ReaderMenus, LoveFollowsTheSelectedIdea) {
  const struct {
    const char* name;
    bool hasModel;
    std::optional<SelectedIdea> idea;
    bool collectionBusy;
    const char* shownBefore;
    const char* title;
    bool enabled;
  } rows[] = {
      // Nothing to name: the entry is disabled and keeps the title it had.
      {"no idea, after a loved one", true, std::nullopt, false, "Unlove idea", "Unlove idea", false},
      {"no idea, from the start", true, std::nullopt, false, "Love idea", "Love idea", false},
      {"no model", false, SelectedIdea{true, true}, false, "Unlove idea", "Unlove idea", false},
      {"idea", true, SelectedIdea{false, true}, false, "Unlove idea", "Love idea", true},
      {"loved idea", true, SelectedIdea{true, true}, false, "Love idea", "Unlove idea", true},
      {"loved, change in flight", true, SelectedIdea{true, true}, true, "Love idea", "Unlove idea", false},
      {"not readable", true, SelectedIdea{false, false}, false, "Love idea", "Love idea", false},
  };
  for (const auto& row : rows) {
    MenuState state = signedIn();
    state.hasModel = row.hasModel;
    state.selectedIdea = row.idea;
    state.collectionBusy = row.collectionBusy;
    const MenuEntry love =
        find(ReaderMenus::mainMenu(state, QLatin1String(row.shownBefore))[2].entries, MenuCommand::love);
    EXPECT_EQ(love.title, QLatin1String(row.title)) << row.name;
    EXPECT_EQ(love.enabled, row.enabled) << row.name;
  }
}

TEST(ReaderMenus, QtMenusCarryTheEntriesTheirKeysAndTheirCommands) {
  MenuState state = signedIn();
  QList<MenuCommand> performed;
  QMenu menu;
  MenuActions::fill(menu, ReaderMenus::statusMenu(state),
                    [&](MenuCommand command) { performed.append(command); });
  const QList<QAction*> actions = menu.actions();
  ASSERT_EQ(actions.size(), 11);
  EXPECT_TRUE(actions[4]->isSeparator());
  EXPECT_EQ(actions[1]->text(), QStringLiteral("Show Drop"));
  EXPECT_EQ(actions[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  // A capital adds Shift.
  EXPECT_EQ(actions[8]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
  EXPECT_FALSE(actions[2]->isEnabled()); // no panel up
  actions[0]->trigger();
  EXPECT_EQ(performed, QList<MenuCommand>{MenuCommand::discover});

  state.paused = true;
  QMenu pausedMenu;
  MenuActions::fill(pausedMenu, ReaderMenus::statusMenu(state), [](MenuCommand) {});
  render(pausedMenu, QStringLiteral("status-menu-paused.png"));
  QMenu signedOutMenu;
  MenuActions::fill(signedOutMenu, ReaderMenus::statusMenu(storedSessionSignedOut()), [](MenuCommand) {});
  render(signedOutMenu, QStringLiteral("status-menu-signed-out.png"));

  MenuState reading = signedIn();
  reading.selectedIdea = SelectedIdea{true, true};
  QMenu view;
  MenuActions::fill(view, ReaderMenus::mainMenu(reading)[2].entries, [](MenuCommand) {});
  EXPECT_EQ(view.actions()[3]->text(), QStringLiteral("Unlove idea"));
  render(view, QStringLiteral("main-menu-view.png"));
}
