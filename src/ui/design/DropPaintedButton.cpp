#include "ui/design/DropPaintedButton.h"

#include "ui/design/DropFocusRing.h"
#include "ui/design/DropGlass.h"
#include "ui/design/FocusPark.h"
#include "ui/design/LayoutEdgeRoom.h"
#include "ui/design/PressKeys.h"
#include "ui/design/UiEnvironment.h"

#include <QApplication>
#include <QChildEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

#include <cmath>

namespace brindlewick {

namespace {

// Tells layouts where a painted button's shape lies inside the widget.
class ShapeMarginStyle : public QProxyStyle {
public:
  ShapeMarginStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

  QRect subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const override {
    if (element == SE_PushButtonLayoutItem) {
      if (const auto* button = qobject_cast<const DropPaintedButton*>(widget))
        return option->rect.marginsRemoved(button->shapeMargins() - button->edgeRoom());
    }
    return QProxyStyle::subElementRect(element, option, widget);
  }
};

QStyle* shapeMarginStyle() {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = new ShapeMarginStyle;
    style->setParent(QCoreApplication::instance());
  }
  return style.data();
}

bool isMouseEvent(QEvent::Type type) {
  return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
         type == QEvent::MouseMove || type == QEvent::MouseButtonRelease;
}

} // namespace

DropPaintedButton::DropPaintedButton(QWidget* parent) : QPushButton(parent) {
  setFocusPolicy(Qt::TabFocus);
  setMouseTracking(true);
  setStyle(shapeMarginStyle());
  UiEnvironment::repaintOnChange(this);
  LayoutEdgeRoom::follow(this, [this] { updateLayoutItem(); });
  DropFocusRing::watchFocus();
}

DropPaintedButton::~DropPaintedButton() {
  if (m_hoverTarget)
    m_hoverTarget->pointerLeft();
}

QRect DropPaintedButton::shapeRect() const {
  return rect().marginsRemoved(m_margins);
}

void DropPaintedButton::setFixedShapeWidth(int width) {
  setFixedWidth(width + m_margins.left() + m_margins.right());
}

ControlState DropPaintedButton::controlState() const {
  return ControlState{m_hover.value(), m_press.value(), m_focus.value(), isEnabled()};
}

QMargins DropPaintedButton::glassShadowRoom() {
  const QMarginsF margins = DropGlass::shadowMargins();
  return QMargins(int(std::ceil(margins.left())), int(std::ceil(margins.top())),
                  int(std::ceil(margins.right())), int(std::ceil(margins.bottom())));
}

void DropPaintedButton::setShapeMargins(const QMargins& margins) {
  if (margins == m_margins)
    return;
  m_margins = margins;
  // A caller's label laid out in the button stays inside the shape.
  setContentsMargins(margins);
  m_edgeRoom = LayoutEdgeRoom::missing(this, m_margins);
  // The push button asks the style for its layout item again.
  QEvent change(QEvent::StyleChange);
  QCoreApplication::sendEvent(this, &change);
}

void DropPaintedButton::updateLayoutItem() {
  const QMargins room = LayoutEdgeRoom::missing(this, m_margins);
  if (room == m_edgeRoom)
    return;
  m_edgeRoom = room;
  QEvent change(QEvent::StyleChange);
  QCoreApplication::sendEvent(this, &change);
}

QPainterPath DropPaintedButton::hitShape() const {
  QPainterPath path;
  path.addRect(shapeRect());
  return path;
}

QSize DropPaintedButton::sizeAroundShape(const QSizeF& size) const {
  return QSize(int(std::ceil(size.width())), int(std::ceil(size.height()))).grownBy(m_margins);
}

bool DropPaintedButton::hitButton(const QPoint& pos) const {
  return hitShape().contains(QPointF(pos) + QPointF(0.5, 0.5));
}

bool DropPaintedButton::event(QEvent* event) {
  switch (event->type()) {
  case QEvent::ChildAdded:
    if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
      child->setAttribute(Qt::WA_TransparentForMouseEvents);
    break;
  case QEvent::Leave: pointerLeft(); break;
  case QEvent::ShortcutOverride:
    // A window's own Return key (a page's default action) stands aside for the focused button.
    if (PressKeys::isActivation(*static_cast<QKeyEvent*>(event)) && isEnabled()) {
      event->accept();
      return true;
    }
    break;
  default:
    if (event->type() == FocusPark::Notice::eventType()) {
      // The focus waits for this control in a park: the ring shows where it is meanwhile.
      const auto* notice = static_cast<const FocusPark::Notice*>(event);
      m_focusVisible = notice->keyboard();
      m_focus.set(notice->holding() && m_focusVisible);
      return true;
    }
    if (event->type() == FocusPark::Arrow::eventType()) {
      // The keyboard waits here in a park: the column's arrows go on from this place.
      QKeyEvent key = static_cast<const FocusPark::Arrow*>(event)->keyPress();
      event->setAccepted(m_movesInColumn && moveInColumn(&key));
      return true;
    }
    if (isMouseEvent(event->type()) && handOff(static_cast<QMouseEvent*>(event)))
      return true;
    break;
  }
  const bool down = isDown();
  // The event may end this button (a deferred delete, or a click whose handler retires it).
  const QPointer<DropPaintedButton> alive(this);
  const bool handled = QPushButton::event(event);
  if (alive && isDown() != down)
    m_press.set(isDown(), m_pressAnimated);
  return handled;
}

void DropPaintedButton::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  // The ring shows for focus the keyboard brought. A window that becomes active again gives
  // focus back as it was; one that opens hands it to its first control unasked, and a
  // program that moves focus is no keystroke either: no ring until a key is pressed. Focus
  // back from a menu shows it when the reader left the menu with a key (a choice made with
  // Return, or Escape), as they are on the keyboard.
  switch (event->reason()) {
  case Qt::ActiveWindowFocusReason: break;
  case Qt::PopupFocusReason: m_focusVisible = DropFocusRing::keyboardInUse(); break;
  default: m_focusVisible = DropFocusRing::keyboardBrought(event->reason());
  }
  m_focus.set(m_focusVisible);
}

void DropPaintedButton::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  // Focus taken by another window (one that opens and focuses its own button, for whatever
  // reason it names) comes back as it left, as after the window is switched.
  const QWidget* now = QApplication::focusWidget();
  const bool otherWindow = now != nullptr && now->window() != window();
  if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason &&
      !otherWindow)
    m_focusVisible = false;
  m_focus.set(false);
}

bool DropPaintedButton::focusNextPrevChild(bool next) {
  // Qt asks this of a control disabled while it has its window's focus, to hand the focus on.
  // Its work runs (or the work it waits for): the keyboard waits for it in its place instead,
  // so that the next Space presses nothing rather than the control after it.
  if (!isEnabled() && window()->focusWidget() == this) {
    FocusPark::hold(this, m_focusVisible);
    if (window()->focusWidget() != this)
      return true;
  }
  return QPushButton::focusNextPrevChild(next);
}

void DropPaintedButton::keyPressEvent(QKeyEvent* event) {
  if (m_movesInColumn && moveInColumn(event))
    return;
  m_focusVisible = true;
  m_focus.set(hasFocus());
  if (PressKeys::isActivation(*event)) {
    event->accept();
    // The click may retire this button (a page that turns): nothing of it is used after.
    if (!event->isAutoRepeat())
      click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

bool DropPaintedButton::moveInColumn(QKeyEvent* event) {
  const bool down = event->key() == Qt::Key_Down;
  if ((!down && event->key() != Qt::Key_Up) || event->modifiers() != Qt::NoModifier)
    return false;
  if (DropPaintedButton* neighbour = columnNeighbour(down))
    neighbour->setFocus(down ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  else if (columnNeighbour(!down) == nullptr)
    return false; // no column: the arrows move on as they do from any button
  // At the column's end the focus stays, as in a menu or a list.
  event->accept();
  return true;
}

DropPaintedButton* DropPaintedButton::columnNeighbour(bool below) const {
  const QMetaObject* kind = metaObject();
  const QRect here(mapToGlobal(QPoint()), size());
  const QWidget* at = this;
  for (;;) {
    at = below ? at->nextInFocusChain() : at->previousInFocusChain();
    if (at == this)
      return nullptr;
    // A park holding the focus for this control, or another, stands in a column's place.
    const bool takesFocus = at->isVisible() && at->isEnabled() && (at->focusPolicy() & Qt::TabFocus) != 0 &&
                            qobject_cast<const FocusPark*>(at) == nullptr;
    if (!takesFocus)
      continue;
    // The column ends where a control of another kind begins.
    if (at->metaObject() != kind || at->window() != window())
      return nullptr;
    const QRect there(at->mapToGlobal(QPoint()), at->size());
    const bool inColumn = below ? there.center().y() > here.bottom() : there.center().y() < here.top();
    return inColumn ? static_cast<DropPaintedButton*>(const_cast<QWidget*>(at)) : nullptr;
  }
}

void DropPaintedButton::changeEvent(QEvent* event) {
  QPushButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    // The pointer may have left while the control took no events.
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    m_hover.set(isEnabled() && underMouse() && hitButton(pointer), false);
  }
}

void DropPaintedButton::pointerMoved(QPoint pos) {
  const bool inside = hitButton(pos);
  m_hover.set(inside && isEnabled());
  DropPaintedButton* beneath = nullptr;
  if (!inside) {
    const QPointF global = mapToGlobal(QPointF(pos));
    beneath = qobject_cast<DropPaintedButton*>(widgetBeneath(global));
    if (beneath != nullptr) {
      // Stays out of the way while the one beneath looks further down.
      setAttribute(Qt::WA_TransparentForMouseEvents, true);
      beneath->pointerMoved(beneath->mapFromGlobal(global).toPoint());
      setAttribute(Qt::WA_TransparentForMouseEvents, false);
    }
  }
  if (m_hoverTarget && m_hoverTarget != beneath)
    m_hoverTarget->pointerLeft();
  m_hoverTarget = beneath;
}

void DropPaintedButton::pointerLeft() {
  m_hover.set(false);
  if (m_hoverTarget)
    m_hoverTarget->pointerLeft();
  m_hoverTarget = nullptr;
}

bool DropPaintedButton::handOff(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->type() == QEvent::MouseMove && event->buttons() == Qt::NoButton) {
    pointerMoved(pos);
    return false;
  }
  const bool starts =
      event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
  if (starts && m_pressTarget.isNull() && !hitButton(pos))
    m_pressTarget = widgetBeneath(event->globalPosition());
  if (m_pressTarget.isNull())
    return false;
  QWidget* target = m_pressTarget.data();
  if (event->type() == QEvent::MouseButtonRelease && event->buttons() == Qt::NoButton)
    m_pressTarget = nullptr;
  QMouseEvent handed(event->type(), target->mapFromGlobal(event->globalPosition()),
                     target->window()->mapFromGlobal(event->globalPosition()), event->globalPosition(),
                     event->button(), event->buttons(), event->modifiers(), event->pointingDevice());
  // Transparent while the event travels, so that a painted button beneath whose own margin
  // is here hands it further down rather than back.
  setAttribute(Qt::WA_TransparentForMouseEvents, true);
  QCoreApplication::sendEvent(target, &handed);
  setAttribute(Qt::WA_TransparentForMouseEvents, false);
  return true;
}

QWidget* DropPaintedButton::widgetBeneath(QPointF globalPosition) {
  QWidget* top = window();
  const bool transparent = testAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_TransparentForMouseEvents, true);
  QWidget* beneath = top->childAt(top->mapFromGlobal(globalPosition).toPoint());
  setAttribute(Qt::WA_TransparentForMouseEvents, transparent);
  return beneath == this ? nullptr : beneath;
}

} // namespace brindlewick
