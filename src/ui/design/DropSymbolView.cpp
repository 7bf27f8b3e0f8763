#include "ui/design/DropSymbolView.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DropSymbols.h"

#include <QPainter>

#include <cmath>

namespace brindlewick {

DropSymbolView::DropSymbolView(const QString& name, qreal size, QFont::Weight weight, QWidget* parent)
    : QWidget(parent), m_name(name), m_size(size), m_weight(weight) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  // A symbol stands beside words that carry its meaning; it is never read on its own.
  AccessibleRole::setHidden(this);
  UiEnvironment::repaintOnChange(this);
}

void DropSymbolView::setName(const QString& name) {
  if (name == m_name)
    return;
  m_name = name;
  update();
}

void DropSymbolView::setColor(DropDesign::ColorFor color) {
  m_color = std::move(color);
  update();
}

QSize DropSymbolView::sizeHint() const {
  const int side = int(std::ceil(m_size));
  return QSize(side, side);
}

void DropSymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor color =
      m_color ? m_color(UiEnvironment::instance().traitsOf(this)) : palette().color(foregroundRole());
  DropSymbols::paint(painter, m_name, rect(), m_size, m_weight, color);
}

} // namespace brindlewick
