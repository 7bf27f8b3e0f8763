#include "ui/window/ReaderPagePlaceholders.h"

#include "model/ReaderModel.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropMark.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/DropTextBlock.h"

#include <QPainter>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

DropDesign::ColorFor primary() {
  return [](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); };
}

DropDesign::ColorFor secondary() {
  return [](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); };
}

DropTextBlock* textBlock(const QString& text, const DropFont& font, DropDesign::ColorFor color) {
  auto* block = new DropTextBlock(text);
  block->setTextStyle(DropTextBlock::Style{font});
  block->setColor(std::move(color));
  return block;
}

} // namespace

// MARK: Page

PlaceholderPage::PlaceholderPage(const QString& title, const QString& caption, QWidget* parent)
    : QWidget(parent), m_caption(caption),
      m_captionBlock(textBlock(caption, DropFonts::rounded(14), secondary())) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(32, 32, 32, 32);
  column->setSpacing(8);
  column->addWidget(textBlock(title, DropFonts::display(30, QFont::DemiBold), primary()));
  column->addWidget(m_captionBlock);
  column->addStretch();
  setMinimumHeight(420);
}

void PlaceholderPage::setAvailableWidth(qreal width) {
  m_availableWidth = width;
  m_captionBlock->setText(m_caption + QStringLiteral(" · %1 points wide").arg(width));
}

} // namespace brindlewick
