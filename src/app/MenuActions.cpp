#include "app/MenuActions.h"

#include "ui/design/DropStandardWidgets.h"

#include <QMenu>
#include <QMenuBar>

namespace brindlewick::MenuActions {

void fill(QMenu& menu, const QList<MenuEntry>& entries, const Perform& perform) {
  // Actions removed while one of them is being triggered must outlive that call.
  for (QAction* action : menu.actions()) {
    menu.removeAction(action);
    action->deleteLater();
  }
  for (const MenuEntry& entry : entries) {
    if (entry.separator) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(entry.title);
    action->setShortcut(entry.shortcut);
    action->setEnabled(entry.enabled);
    const MenuCommand command = entry.command;
    QObject::connect(action, &QAction::triggered, &menu, [perform, command] { perform(command); });
  }
}

void install(QMenuBar& bar, std::function<QList<MenuSection>()> sections, Perform perform) {
  bar.clear();
  DropStandardWidgets::adopt(&bar); // in the window's scheme, as the toolbar beneath it
  const QList<MenuSection> initial = sections();
  for (qsizetype index = 0; index < initial.size(); ++index) {
    QMenu* menu = bar.addMenu(initial[index].title);
    DropStandardWidgets::adopt(menu); // drawn as every other pop-up menu
    const auto enableAll = [menu] {
      for (QAction* action : menu->actions())
        action->setEnabled(true);
    };
    fill(*menu, initial[index].entries, perform);
    enableAll();
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, index, sections, perform] {
      const QList<MenuSection> current = sections();
      if (index < current.size())
        fill(*menu, current[index].entries, perform);
    });
    QObject::connect(menu, &QMenu::aboutToHide, menu, enableAll);
  }
}

} // namespace brindlewick::MenuActions
