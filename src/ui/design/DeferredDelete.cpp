#include "ui/design/DeferredDelete.h"

#include <QWidget>

namespace brindlewick {

void DeferredDelete::retire(QWidget* widget) {
  if (widget == nullptr)
    return;
  widget->hide();
  // Out of its parent (and so of its layout) at once: a parent that retires many children
  // before the event loop runs again does not carry them all meanwhile.
  widget->setParent(nullptr);
  widget->deleteLater();
}

} // namespace brindlewick
