#pragma once

#include <QObject>
#include <QPointer>

class QScrollArea;
class QWidget;

namespace brindlewick {

// Keeps the keyboard where the reader can see it. Whenever a control inside a followed scroll
// area takes the focus by the keyboard (Tab, Backtab, a shortcut) or from the program (a page
// that hands it on), the area scrolls so that the control, its ring and a little room around it
// are in view, wherever the focus came from: inside the area, from outside it, or round the
// window's end. Focus a click brought is where the pointer already is, and focus a window gives
// back as it becomes active again (or as a menu of it closes) stays where the reader scrolled
// it to: neither scrolls. Nor does the focus a FocusPark holds in its control's place while the
// control's work runs, taken or given back: the keyboard stays where it was.
//
// Only the vertical direction scrolls. A control taller than the viewport is shown from its top,
// unless part of it is already in view.
class FocusInView final : public QObject {
  Q_OBJECT

public:
  // Room kept between the control and the viewport's edges, beyond the ring the control draws
  // inside its own margins.
  static constexpr int room = 24;

  // Follows `area` for as long as it lives.
  static void follow(QScrollArea* area);
  // Scrolls `area` so that `control`, inside it, is in view with `room` around it.
  static void bringIntoView(QScrollArea* area, const QWidget* control);

private:
  explicit FocusInView(QScrollArea* area);
  static bool staysInPlace(const QWidget* old, const QWidget* now);
  void focusChanged(QWidget* old, QWidget* now);

  QScrollArea* m_area;
};

} // namespace brindlewick
