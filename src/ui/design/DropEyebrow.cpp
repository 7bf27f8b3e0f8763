#include "ui/design/DropEyebrow.h"

#include "ui/design/CategoryAccent.h"

namespace brindlewick {

namespace {

QString spoken(QString wire) {
  return wire.replace(QLatin1Char('_'), QLatin1Char(' '));
}

} // namespace

DropEyebrow::DropEyebrow(Category category, const QString& kind, bool reader, QWidget* parent)
    : DropTextBlock(caption(category, kind), parent) {
  setTextStyle([reader](const UiTraits& traits) { return style(reader, traits); });
  setColor([category, reader](const UiTraits& traits) { return color(category, reader, traits); });
}

QString DropEyebrow::caption(Category category, const QString& kind) {
  return (spoken(rawValue(category)) + QStringLiteral("  \u00B7  ") + spoken(kind)).toUpper();
}

QColor DropEyebrow::color(Category category, bool reader, const UiTraits& traits) {
  if (!reader)
    return accent(category, traits.scheme);
  return traits.increasedContrast ? QColor(Qt::white) : accent(category, ColorScheme::dark);
}

DropTextBlock::Style DropEyebrow::style(bool reader, const UiTraits& traits) {
  if (!reader)
    return {DropFonts::rounded(10, QFont::DemiBold), 1.3};
  return {DropFonts::rounded(9, traits.boldText ? QFont::Medium : QFont::Normal), 1.1};
}

} // namespace brindlewick
