#include "ui/design/DropAccessibility.h"

#include <QTextDocument>
#include <QWidget>

namespace brindlewick {

void DropAccessibility::describe(QWidget* widget, const QString& identifier, const QString& label,
                                 const QString& help) {
  widget->setObjectName(identifier);
  if (!label.isEmpty())
    widget->setAccessibleName(label);
  if (!help.isEmpty())
    widget->setToolTip(plainTooltip(help));
}

QString DropAccessibility::plainTooltip(const QString& text) {
  return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

void DropAccessibility::recordLayout(QWidget* widget, const QString& name) {
  widget->setProperty(layoutProperty, name);
}

} // namespace brindlewick
