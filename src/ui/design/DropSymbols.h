#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRectF>
#include <QStringList>

class QPainter;

namespace brindlewick {

// The interface's icons, drawn here as outlines ("bookmark", "heart.fill", "xmark.circle.fill"
// …), sized like text: a symbol set at a font size fills a square of that side, and its
// lines thicken with the font weight. A name ending in ".fill" asks for the filled form and
// gets the plain one where there is none. An unknown name draws nothing and is logged once.
namespace DropSymbols {

// The plain names there are.
QStringList names();
bool exists(const QString& name);
// Whether `name` (without ".fill") has a filled form of its own.
bool hasFilledForm(const QString& name);

// The outline of `name` in the square from (0, 0) to (size, size), to be filled with its
// own fill rule; empty for an unknown name. Outlines are cached.
QPainterPath path(const QString& name, qreal size, QFont::Weight weight = QFont::Normal);
// Fills the symbol in `color`, its square centred in `box`.
void paint(QPainter& painter, const QString& name, const QRectF& box, qreal size, QFont::Weight weight,
           const QColor& color);

} // namespace DropSymbols

} // namespace brindlewick
