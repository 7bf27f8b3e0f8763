#include "ui/account/AccountText.h"

#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropTextBlock.h"

#include <QLabel>
#include <QPainter>

namespace brindlewick {

namespace {

class Divider : public QWidget {
public:
  explicit Divider(qreal opacity) : m_opacity(opacity) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    UiEnvironment::repaintOnChange(this);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
    painter.fillRect(rect(), DropDesign::withOpacity(DropDesign::foreground(scheme), m_opacity));
  }

private:
  qreal m_opacity;
};

} // namespace

QWidget* AccountText::divider(qreal opacity) {
  return new Divider(opacity);
}

DropDesign::ColorFor AccountText::primary() {
  return [](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); };
}

DropDesign::ColorFor AccountText::secondary() {
  return [](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); };
}

DropTextBlock* AccountText::callout(const QString& text, DropDesign::ColorFor color) {
  auto* block = new DropTextBlock(text);
  block->setTextStyle(DropTextBlock::Style{DropFonts::rounded(calloutSize)});
  block->setColor(std::move(color));
  block->setLineSpacing(2);
  return block;
}

QLabel* AccountText::selectable(const QString& text, const QFont& font, DropDesign::ColorFor color) {
  auto* label = new QLabel;
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  label->setFont(font);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setContextMenuPolicy(Qt::DefaultContextMenu);
  DropStandardWidgets::keepForeground(label, std::move(color));
  return label;
}

} // namespace brindlewick
