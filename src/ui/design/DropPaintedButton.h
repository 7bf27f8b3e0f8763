#pragma once

#include "ui/design/DropFeedback.h"

#include <QMargins>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>

class QMouseEvent;

namespace brindlewick {

// What a control shows, each from 0 to 1 (between the two while it animates). Looks are
// paint functions over this state, so a picture of any state can be painted directly.
struct ControlState {
  qreal hover = 0;
  qreal press = 0;
  qreal focus = 0;
  bool enabled = true;
};

// The base of the buttons that paint themselves.
//
// The visible shape sits inside margins that leave room for what is drawn around it (the
// glass's shadows, the focus ring). Layouts place the shape, not the widget: the style's
// push-button layout item is the widget less its margins, so shapes line up with their
// neighbours and the margins overlap whatever lies around. Presses and hovering that land
// in the margins, outside the shape, are handed to the widget beneath, so a neighbour's
// margin never takes a click from this shape. Where the button reaches an edge of its parent
// and the layouts' margins there leave less room than its margin, the layout item keeps the
// rest of the margin (edgeRoom()), so the parent never clips it.
//
// Child widgets (a caller's label) are transparent for the mouse, so they never take a
// press or the hover. Focus comes by Tab only, and the focus ring shows only for focus the
// keyboard brought or used: never after a click, nor for the focus a window hands its
// first control when it opens; focus back from a menu it opened shows it when the menu was
// left with a key. Space, Return and Enter press the focused control; a focused control
// takes Return before any key of its window.
//
// A control disabled while it has the focus (its work runs) keeps the keyboard: a FocusPark
// holds it in its place, the ring stays (dimmed with the control) and the focus is back on the
// control when it is enabled again.
class DropPaintedButton : public QPushButton {
  Q_OBJECT

public:
  explicit DropPaintedButton(QWidget* parent = nullptr);
  ~DropPaintedButton() override;

  QMargins shapeMargins() const { return m_margins; }
  // The part of the margins the layout item keeps, at the edges of the parent the button
  // reaches.
  QMargins edgeRoom() const { return m_edgeRoom; }
  // The visible shape's bounds, in the widget's coordinates.
  QRect shapeRect() const;
  // Fixes the width of the visible shape (the widget is wider by its margins).
  void setFixedShapeWidth(int width);
  ControlState controlState() const;

protected:
  // The glass's shadow margins in whole pixels.
  static QMargins glassShadowRoom();
  void setShapeMargins(const QMargins& margins);
  // Where the control takes the pointer: the shape's bounds unless told otherwise.
  virtual QPainterPath hitShape() const;
  // A menu row's press shows at once; other controls ease into it.
  void setPressAnimated(bool animated) { m_pressAnimated = animated; }
  // The widget's size for a shape of `size` (rounded up).
  QSize sizeAroundShape(const QSizeF& size) const;
  // For a column of controls of one kind (a menu's rows, a list of pages): Up and Down move the
  // focus to the next such control above or below in the focus chain, stopping at the
  // column's ends (where a button's arrows would go on to the next control of any kind).
  // Controls of the kind side by side are no column. Also while the keyboard waits for the
  // control in a FocusPark (its work runs).
  void setMovesInColumn(bool moves) { m_movesInColumn = moves; }

  bool hitButton(const QPoint& pos) const override;
  bool event(QEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  // Moves the focus in the control's column for Up and Down; whether it took the key.
  bool moveInColumn(QKeyEvent* event);
  // The neighbour of this control's kind in the focus chain that takes focus, above (or
  // below) it; none where the run of such controls ends.
  DropPaintedButton* columnNeighbour(bool below) const;
  // The pointer at `pos` (in this widget) without a button held.
  void pointerMoved(QPoint pos);
  void pointerLeft();
  bool handOff(QMouseEvent* event);
  // The widget under `globalPosition` if this one were not there.
  QWidget* widgetBeneath(QPointF globalPosition);
  // Asks the style for the layout item again when the room at the parent's edges changed.
  void updateLayoutItem();

  QMargins m_margins;
  QMargins m_edgeRoom;
  DropFeedback m_hover{this};
  DropFeedback m_press{this};
  DropFeedback m_focus{this};
  bool m_pressAnimated = true;
  bool m_movesInColumn = false;
  bool m_focusVisible = false;               // the focus came from the keyboard
  QPointer<QWidget> m_pressTarget;           // takes the press that began outside the shape
  QPointer<DropPaintedButton> m_hoverTarget; // the control beneath the pointer in the margins
};

} // namespace brindlewick
