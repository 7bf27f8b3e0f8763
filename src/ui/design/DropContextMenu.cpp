#include "ui/design/DropContextMenu.h"

#include "ui/design/DropStandardWidgets.h"

#include <QMenu>

namespace brindlewick::DropContextMenu {

QMenu* create(QWidget* owner) {
  auto* menu = new QMenu(owner);
  DropStandardWidgets::adopt(menu);
  return menu;
}

void popUp(QMenu* menu, const QPoint& globalPos) {
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(globalPos);
}

} // namespace brindlewick::DropContextMenu
