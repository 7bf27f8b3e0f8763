#include "ui/design/DropFilterMenu.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DropChoiceList.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropSymbols.h"

#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>

#include <algorithm>

namespace brindlewick {

namespace {

constexpr qreal kChevronSize = 10;
constexpr qreal kSpacing = 12;

} // namespace

DropFilterMenu::DropFilterMenu(const QString& title, const QString& selection, QMenu* menu, QWidget* parent)
    : DropButton(dropControl({}), parent), m_title(title), m_selection(selection), m_menu(menu) {
  AccessibleRole::set(this, QAccessible::ButtonMenu);
  if (menu != nullptr)
    DropStandardWidgets::adopt(menu);
  describe();
  connect(this, &QPushButton::clicked, this, [this] {
    if (!m_menu)
      return;
    // A long menu would cover the screen: its choices scroll in a list instead.
    if (DropChoiceList::isLong(m_menu))
      DropChoiceList::popUp(m_menu, this, capsuleRect().toAlignedRect(), m_title);
    else
      popUpBelow(m_menu);
    // The current choice is the keyboard's row, as in the long list: Return keeps it.
    if (m_menu->isVisible()) {
      const QList<QAction*> actions = m_menu->actions();
      const auto checked = std::find_if(actions.cbegin(), actions.cend(),
                                        [](const QAction* action) { return action->isChecked(); });
      if (checked != actions.cend())
        m_menu->setActiveAction(*checked);
    }
  });
}

void DropFilterMenu::setSelection(const QString& selection) {
  if (selection == m_selection)
    return;
  m_selection = selection;
  describe();
  updateGeometry();
  update();
}

void DropFilterMenu::describe() {
  DropAccessibility::describe(this, objectName(), m_title, m_title + QStringLiteral(": ") + m_selection);
  setAccessibleDescription(m_selection);
}

QString DropFilterMenu::actionText(const QString& content) {
  return QString(content).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

DropFilterMenu::LabelLayout DropFilterMenu::layOutLabel(const QRectF& content, const QString& selection,
                                                        const QFont& font) {
  const QRectF chevron(content.right() - kChevronSize, content.top(), kChevronSize, content.height());
  const QRectF text(content.left(), content.top(),
                    std::max<qreal>(0, chevron.left() - kSpacing - content.left()), content.height());
  return LabelLayout{QFontMetricsF(font).elidedText(selection, Qt::ElideRight, text.width()), text, chevron};
}

qreal DropFilterMenu::naturalLabelWidth(const QFont& font) const {
  return QFontMetricsF(font).horizontalAdvance(m_selection) + kSpacing + kChevronSize;
}

void DropFilterMenu::paintLabel(QPainter& painter, const QRectF& content, const QColor& color,
                                const QFont& font) {
  const LabelLayout label = layOutLabel(content, m_selection, font);
  painter.setFont(font);
  painter.setPen(color);
  const QFontMetricsF metrics(font);
  painter.drawText(QPointF(label.textRect.left(), label.textRect.center().y() + metrics.capHeight() / 2),
                   label.text);
  DropSymbols::paint(painter, QStringLiteral("chevron.down"), label.chevronRect, kChevronSize, QFont::Medium,
                     color);
}

} // namespace brindlewick
