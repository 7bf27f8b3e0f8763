#include "ui/design/DropChoiceList.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropStandardStyle.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/RestingPointer.h"
#include "ui/design/UiEnvironment.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

constexpr qreal kChoiceFontSize = 13;
constexpr int kChoiceCheckColumn = 22; // the check mark and its gap, before the labels
constexpr int kChoiceGap = 4;          // between the control and the list
constexpr int kChoiceMaxWidth = 420;   // wider than its control for long choices, up to this; then elided

QFont choiceFont() {
  return DropFonts::rounded(kChoiceFontSize).font();
}

// A menu action's text as shown: a doubled "&" stands for one.
QString shownText(const QAction* action) {
  return QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// The rows as a menu's rows: the fill on the current row (the keyboard's, or the one a moving
// pointer made current), the check mark of the current choice in the column before the labels.
// Qt's hover alone lights nothing: a scroll under a pointer at rest moves it to another row.
class ChoiceRowDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const auto colors = DropStandardStyle::colors(UiEnvironment::instance().traitsOf(option.widget));
    const QRectF row =
        QRectF(option.rect).adjusted(DropStandardStyle::popupInset, 0, -DropStandardStyle::popupInset, 0);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if ((option.state & QStyle::State_Selected) != 0)
      painter->fillPath(DropDesign::roundedRect(row, DropMenuRowStyle::cornerRadius), colors.rowFill);
    const QRectF content = row.adjusted(DropMenuRowStyle::padding, 0, -DropMenuRowStyle::padding, 0);
    if (index.data(Qt::CheckStateRole).toInt() == Qt::Checked) {
      const QRectF box(content.left(), row.center().y() - 7, 14, 14);
      QPainterPath mark;
      mark.moveTo(box.left() + box.width() * 0.22, box.top() + box.height() * 0.52);
      mark.lineTo(box.left() + box.width() * 0.42, box.top() + box.height() * 0.72);
      mark.lineTo(box.left() + box.width() * 0.78, box.top() + box.height() * 0.30);
      painter->strokePath(mark, QPen(colors.text, 1.75, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    const QRectF label = content.adjusted(kChoiceCheckColumn, 0, 0, 0);
    painter->setFont(choiceFont());
    painter->setPen(colors.text);
    painter->drawText(label, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                      QFontMetricsF(choiceFont())
                          .elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, label.width()));
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    const qreal text = QFontMetricsF(choiceFont()).horizontalAdvance(index.data(Qt::DisplayRole).toString());
    const qreal around = 2 * (DropStandardStyle::popupInset + DropMenuRowStyle::padding) + kChoiceCheckColumn;
    return QSize(int(std::ceil(text + around)), int(DropMenuRowStyle::height));
  }
};

QList<QAction*> choicesOf(const QMenu* menu) {
  QList<QAction*> choices;
  for (QAction* action : menu->actions()) {
    if (action->isVisible() && !action->isSeparator())
      choices.append(action);
  }
  return choices;
}

} // namespace

bool DropChoiceList::isLong(const QMenu* menu) {
  return menu != nullptr && choicesOf(menu).size() > DropStandardStyle::visibleListRows;
}

DropChoiceList* DropChoiceList::popUp(QMenu* menu, QWidget* control, const QRect& shape,
                                      const QString& title) {
  auto* popup = new DropChoiceList(menu, control, title);
  popup->place(shape);
  popup->show();
  // Only now: until it is shown, the list lays its rows out in a viewport of a hidden widget's
  // size, and centring the choice there scrolls it to the wrong place.
  if (QListWidgetItem* current = popup->currentItem())
    popup->scrollToItem(current, QAbstractItemView::PositionAtCenter);
  popup->setFocus(Qt::PopupFocusReason);
  return popup;
}

DropChoiceList::DropChoiceList(QMenu* menu, QWidget* control, const QString& title)
    : QListWidget(control), m_control(control) {
  setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_TranslucentBackground);
  setObjectName(QStringLiteral("choices"));
  setAccessibleName(title);
  DropStandardWidgets::adopt(this);
  DropStandardWidgets::adopt(verticalScrollBar());
  // The rounded surface is painted around the rows, which keep this room from its edge.
  setContentsMargins(0, DropStandardStyle::popupInset, 0, DropStandardStyle::popupInset);
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(false);
  viewport()->setAutoFillBackground(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setUniformItemSizes(true);
  setMouseTracking(true);
  setItemDelegate(new ChoiceRowDelegate(this));

  int checked = -1;
  for (QAction* action : choicesOf(menu)) {
    auto* item = new QListWidgetItem(shownText(action), this);
    // Marked by the row's own mark, not a check box a click would toggle.
    item->setFlags(action->isEnabled() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags);
    item->setData(Qt::CheckStateRole, action->isChecked() ? Qt::Checked : Qt::Unchecked);
    if (action->isChecked() && checked < 0)
      checked = count() - 1;
    m_actions.append(action);
  }
  setCurrentRow(std::max(checked, 0));
  RestingPointer::ignoreUntilMoved(this, this);
}

QAction* DropChoiceList::action(int row) const {
  return m_actions.value(row).data();
}

void DropChoiceList::place(const QRect& shape) {
  const QRect anchor(m_control->mapToGlobal(shape.topLeft()), shape.size());
  const QScreen* screen = m_control->screen();
  const QRect room =
      screen != nullptr ? screen->availableGeometry() : QRect(anchor.topLeft(), QSize(800, 600));
  const int rows = std::min(count(), DropStandardStyle::visibleListRows);
  const int rowHeight = int(DropMenuRowStyle::height);
  const int bar = count() > rows ? verticalScrollBar()->sizeHint().width() : 0;
  const int natural = std::min(sizeHintForColumn(0) + bar, kChoiceMaxWidth);
  const int width = std::min(std::max(anchor.width(), natural), room.width());
  const int height = std::min(rows * rowHeight + 2 * DropStandardStyle::popupInset, room.height());
  int top = anchor.bottom() + 1 + kChoiceGap;
  if (top + height > room.bottom() + 1 && anchor.top() - kChoiceGap - height >= room.top())
    top = anchor.top() - kChoiceGap - height;
  top = std::clamp(top, room.top(), room.bottom() + 1 - height);
  const int left = std::clamp(anchor.left(), room.left(), room.right() + 1 - width);
  setGeometry(left, top, width, height);
}

void DropChoiceList::choose(int row) {
  const QPointer<QAction> chosen = m_actions.value(row);
  if (chosen.isNull() || !chosen->isEnabled())
    return;
  close();
  chosen->trigger();
}

bool DropChoiceList::event(QEvent* event) {
  switch (event->type()) {
  case QEvent::Paint:
    // The list's own area, around its rows: the surface. The rows paint on its viewport.
    paintSurface();
    return true;
  case QEvent::MouseButtonPress:
    // A press beside the rows, or elsewhere on the screen while the list is open.
    pressOutside(static_cast<QMouseEvent*>(event));
    QWidget::mousePressEvent(static_cast<QMouseEvent*>(event));
    return true;
  default: return QListWidget::event(event);
  }
}

void DropChoiceList::paintSurface() {
  const auto colors = DropStandardStyle::colors(UiEnvironment::instance().traitsOf(this));
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.fillPath(DropDesign::roundedRect(QRectF(rect()), DropStandardStyle::popupRadius),
                   colors.popupSurface);
  DropDesign::strokeInnerEdge(painter, QRectF(rect()), DropStandardStyle::popupRadius, colors.popupEdge);
}

void DropChoiceList::pressOutside(const QMouseEvent* event) {
  // The press on the control that closes the list must not open it again.
  if (m_control && !rect().contains(event->position().toPoint()) &&
      m_control->rect().contains(m_control->mapFromGlobal(event->globalPosition().toPoint())))
    setAttribute(Qt::WA_NoMouseReplay);
}

void DropChoiceList::mouseMoveEvent(QMouseEvent* event) {
  QListWidget::mouseMoveEvent(event);
  // The row under a pointer that moves is the current one, as in a picker's list. Only a move
  // makes it so, never Qt's `entered`: a scroll also reports the row that comes under a pointer
  // at rest, and the keys that scrolled would lose their row to it. A move at the spot where
  // the pointer rested when the list opened does not get here (RestingPointer).
  if (const QModelIndex index = indexAt(event->position().toPoint());
      index.isValid() && index.flags().testFlag(Qt::ItemIsEnabled))
    setCurrentIndex(index);
}

void DropChoiceList::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (const QModelIndex index = indexAt(event->position().toPoint()); index.isValid()) {
      choose(index.row());
      return;
    }
  }
  QListWidget::mouseReleaseEvent(event);
}

void DropChoiceList::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
  case Qt::Key_Return:
  case Qt::Key_Enter: choose(currentRow()); return;
  case Qt::Key_Escape: close(); return;
  default: QListWidget::keyPressEvent(event);
  }
}

} // namespace brindlewick
