#pragma once

#include "ui/design/DropAccessibility.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

namespace brindlewick::testing {

// A widget named for the layout diagnostics, with its rectangle in the root's coordinates.
struct LayoutRecord {
  QString name;
  QRect geometry;

  friend bool operator==(const LayoutRecord&, const LayoutRecord&) = default;
};

// Every widget under `root` (itself included) that recordLayout() named, in tree order.
inline QList<LayoutRecord> layoutRecords(const QWidget& root) {
  QList<LayoutRecord> records;
  QList<const QWidget*> widgets{&root};
  for (const QWidget* child : root.findChildren<QWidget*>())
    widgets.append(child);
  for (const QWidget* widget : widgets) {
    const QString name = widget->property(DropAccessibility::layoutProperty).toString();
    if (!name.isEmpty())
      records.append({name, QRect(widget->mapTo(&root, QPoint(0, 0)), widget->size())});
  }
  return records;
}

} // namespace brindlewick::testing
