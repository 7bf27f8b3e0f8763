#pragma once

#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"

#include <QString>

class QLabel;
class QWidget;

namespace brindlewick {

class DropTextBlock;

// The text pieces and the motion the account screens share. Every text is plain: names,
// e-mail addresses and codes come from the service and are never read as markup.
namespace AccountText {

inline constexpr qreal calloutSize = 12;

DropDesign::ColorFor primary();
DropDesign::ColorFor secondary();
// A wrapping block in the callout size.
DropTextBlock* callout(const QString& text, DropDesign::ColorFor color);
// A label the reader can select and copy, in `font` and `color`.
QLabel* selectable(const QString& text, const QFont& font, DropDesign::ColorFor color);
// A 1-pixel rule across the width in the foreground colour at `opacity`.
QWidget* divider(qreal opacity);

} // namespace AccountText

} // namespace brindlewick
