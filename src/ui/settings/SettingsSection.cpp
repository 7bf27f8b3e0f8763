#include "ui/settings/SettingsSection.h"

#include "ui/account/AccountView.h"
#include "ui/design/DropSectionLabel.h"
#include "ui/design/UiEnvironment.h"

#include <QPainter>
#include <QVBoxLayout>

namespace brindlewick {

SettingsSection::SettingsSection(const QString& title, QWidget* parent)
    : QWidget(parent), m_title(title), m_content(new QVBoxLayout) {
  setObjectName(QStringLiteral("layout.settings.card"));
  setAccessibleName(title);
  UiEnvironment::repaintOnChange(this);
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(padding, padding, padding, padding);
  stack->setSpacing(spacing);
  stack->addWidget(new DropSectionLabel(title));
  m_content->setContentsMargins(0, 0, 0, 0);
  m_content->setSpacing(spacing);
  stack->addLayout(m_content);
}

void SettingsSection::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  // The same surface as the account card above the sections.
  const QColor surface = DropDesign::foreground(UiEnvironment::instance().schemeOf(this));
  const QRectF bounds = QRectF(rect());
  painter.fillPath(DropDesign::roundedRect(bounds, AccountView::cornerRadius),
                   DropDesign::withOpacity(surface, AccountView::fillOpacity));
  DropDesign::strokeInnerEdge(painter, bounds, AccountView::cornerRadius,
                              DropDesign::withOpacity(surface, AccountView::borderOpacity));
}

} // namespace brindlewick
