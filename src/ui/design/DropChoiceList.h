#pragma once

#include <QListWidget>
#include <QPointer>

class QAction;
class QMenu;

namespace brindlewick {

// A long menu of choices (a filter's books, say) shown as the pickers show theirs: a list on
// the rounded pop-up surface that shows at most DropStandardStyle::visibleListRows rows at a
// time and scrolls, below its control, or above it where the screen has no room below, and
// always within the screen. Its rows are the menu's actions, which stay the one account of
// the choices: the checked one is marked and scrolled into view, and choosing a row (a click,
// Return) triggers its action once the list has closed. Escape or a press elsewhere closes it
// choosing nothing. It deletes itself when it closes. The pop-up is the list itself, so that
// assistive technology hears it as what it is: a list, named `title`, inside its control, whose
// rows are its items with the current choice checked. Opened under a pointer that rests where
// it appears, it keeps the checked row current until the pointer moves (RestingPointer); the
// keys alone move it, however far they scroll the list under the resting pointer.
class DropChoiceList : public QListWidget {
  Q_OBJECT

public:
  // The list of `menu`'s choices (its visible actions other than separators), opened below
  // `control` (the capsule `shape` inside it) and named `title` for assistive technology.
  static DropChoiceList* popUp(QMenu* menu, QWidget* control, const QRect& shape, const QString& title);
  // Whether `menu` has more choices than a list shows at once.
  static bool isLong(const QMenu* menu);

  // The action of the row at `row`; none once the menu dropped it.
  QAction* action(int row) const;

protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  DropChoiceList(QMenu* menu, QWidget* control, const QString& title);
  void place(const QRect& shape);
  void choose(int row);

  void paintSurface();
  void pressOutside(const QMouseEvent* event);

  QPointer<QWidget> m_control;
  QList<QPointer<QAction>> m_actions;
};

} // namespace brindlewick
