#pragma once

#include <QObject>
#include <QPoint>

class QAbstractItemView;
class QWidget;

namespace brindlewick {

// A pop-up list opened from the keyboard may appear under a pointer that rests where it opens:
// the window system then tells the list that the pointer entered it and moved, over a row the
// reader never pointed at. Until the pointer really moves (to another place on the screen than
// where it rested when the list was shown), those events are kept from the list, so the
// keyboard's row stays the current one and the only one lit. A real move reaches the list as
// ever, and so does everything after it.
//
// What no filter sees: whenever the list scrolls, Qt reads the pointer where it is, takes the
// row under it as hovered and emits `entered`, with no event at all. So a list watched here
// makes a row current only from a pointer move that reaches it, and lights only its current
// row, never the hovered one.
class RestingPointer : public QObject {
public:
  // Watches `list` for as long as it lives; `popup` is the window that shows it (the list
  // itself, or the frame around it). Installed after the list's other watchers, it is asked first.
  static void ignoreUntilMoved(QAbstractItemView* list, QWidget* popup);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  RestingPointer(QAbstractItemView* list, QWidget* popup);

  QWidget* m_popup;
  QWidget* m_viewport;
  QPoint m_restingAt;
  bool m_moved = true;
};

} // namespace brindlewick
