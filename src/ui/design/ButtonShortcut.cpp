#include "ui/design/ButtonShortcut.h"

#include <QAbstractButton>
#include <QShortcut>

namespace brindlewick {

void ButtonShortcut::install(QWidget* owner, const QKeySequence& keys,
                             std::function<QAbstractButton*()> button) {
  auto* shortcut = new QShortcut(keys, owner);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, owner, [button = std::move(button)] {
    if (QAbstractButton* target = button())
      target->click();
  });
}

} // namespace brindlewick
