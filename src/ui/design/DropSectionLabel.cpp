#include "ui/design/DropSectionLabel.h"

namespace brindlewick {

DropSectionLabel::DropSectionLabel(const QString& text, QWidget* parent)
    : DropTextBlock(text.toUpper(), parent) {
  setTextStyle(Style{DropFonts::rounded(10, QFont::DemiBold), 1.3});
  setColor([](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); });
}

} // namespace brindlewick
