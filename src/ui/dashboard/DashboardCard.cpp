#include "ui/dashboard/DashboardCard.h"

#include "ui/dashboard/DashboardSurface.h"

#include <QPainter>

namespace brindlewick {

DashboardCard::DashboardCard(std::optional<DropDesign::Highlight> accent, QWidget* parent)
    : DropSelectionItem(DropSelectionStyle{}, parent), m_accent(accent) {
  if (accent) {
    DropSelectionStyle style;
    style.highlight = accentColor();
    setSelectionStyle(style);
  }
  UiEnvironment::repaintOnChange(this);
  connect(&UiEnvironment::instance(), &UiEnvironment::changed, this, [this] {
    if (m_accent) {
      DropSelectionStyle style = selectionStyle();
      style.highlight = accentColor();
      setSelectionStyle(style);
    }
  });
}

std::optional<QColor> DashboardCard::accentColor() const {
  if (!m_accent)
    return std::nullopt;
  return DropDesign::highlight(*m_accent, UiEnvironment::instance().schemeOf(this));
}

void DashboardCard::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    DashboardSurface::paint(painter, QRectF(shapeRect()), false, accentColor(),
                            UiEnvironment::instance().traitsOf(this));
  }
  DropSelectionItem::paintEvent(event);
}

} // namespace brindlewick
