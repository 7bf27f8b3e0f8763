#pragma once

#include "ui/design/UiEnvironment.h"

#include <QColor>
#include <QProxyStyle>

class QComboBox;

namespace brindlewick {

// The style of the standard widgets we keep: Fusion's geometry and behaviour, with the
// design's surfaces where Fusion's square bevels would show. Pop-up menus and combo-box
// lists take a rounded surface of their scheme (the card's dark one on the card) with
// menu rows; a list longer than the screen scrolls within its pop-up, ten rows at a time;
// check boxes, combo boxes and scroll bars get edges that stand out on a card; a menu bar
// takes the toolbar's surface and menu rows for its titles. Every colour
// is asked of colors() when painting, for the scheme the widget is drawn in.
class DropStandardStyle : public QProxyStyle {
  Q_OBJECT

public:
  // What the controls paint with. Boundaries reach 3:1 against the surfaces they sit on,
  // text 4.5:1 against what is behind it.
  struct Colors {
    QColor popupSurface;
    QColor popupEdge;
    QColor text;
    QColor secondaryText; // a menu entry's shortcut
    QColor rowFill;       // the row under the pointer or the keyboard, over the surface
    QColor controlFill;   // the face of a check box or a combo box
    QColor controlEdge;   // its boundary
    QColor checkedFill;
    QColor checkMark;
    QColor focusRing;
    QColor scrollThumb;
    QColor barSurface; // a window's menu bar, continuous with the toolbar beneath it
  };
  static Colors colors(const UiTraits& traits);
  // The rounded surface of a pop-up over `rect`, its corners left clear.
  static void paintPopupSurface(QPainter& painter, const QRectF& rect, const Colors& colors);

  static constexpr qreal popupRadius = 10;
  static constexpr int popupInset = 5; // between the pop-up's edge and its rows
  static constexpr qreal controlRadius = 6;
  static constexpr int visibleListRows = 10;

  DropStandardStyle();

  // Gives `combo`'s pop-up list the rounded surface and menu rows, and keeps the keyboard's row
  // current under a pointer resting where it opens. Its list is created here.
  static void dressPopup(QComboBox* combo);

  void polish(QWidget* widget) override;
  int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget = nullptr) const override;

private:
  void drawMenuItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  void drawMenuBarItem(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  void drawComboBox(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
  void drawScrollBar(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
};

} // namespace brindlewick
