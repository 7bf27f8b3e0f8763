#pragma once

#include "content/ContentSnapshots.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAbstractScrollArea;
class QScrollBar;
class QMenu;

namespace brindlewick {

class LibraryIdeaRow;
class LibraryPageModel;

// The rows of a library page. The page scrolls as a whole inside the reader window's
// workspace, so the list is no scroll area of its own: it is a widget as tall as all its rows,
// and its only children are the rows that lie in the enclosing scroll area's viewport or
// within `overscan` of it, recycled as that viewport scrolls or changes size. A row's height
// is measured once per identity and width by one measuring row kept off screen; a row not
// measured yet takes an estimate, corrected as it comes into view without moving the rows on
// screen. Whatever can change what a row shows for the same identity (a withdrawal or a newer
// revision adding a badge, the typeface or Bold Text) measures the rows again. Hover and
// keyboard focus belong to an identity, not to a recycled widget.
//
// Keys: Up and Down move the page's selection and centre it (accepted whenever the list or a
// row's control has focus, so the workspace never scrolls instead); Left and Right are not
// handled; Return and Enter open the selected row, also while a row's love, save or share
// has the focus (the control is not pressed), and without a selection travel on: to the
// focused control first, which presses itself. Space always presses the focused control.
//
// Tab and Shift+Tab walk the rows in the order they are listed, each row's summary then its
// love, save and share, whichever widget shows the row: the list moves the focus itself
// rather than leave it to the window's focus chain, in which recycled rows stand in the order
// they were made. A row the focus reaches scrolls just into view. Tab into the list from
// before it lands on the first row, Shift+Tab from after it on the last row's last control
// (the list sees those keys before the window, so the focus goes straight there); from the
// ends the focus leaves the list the way it came.
class LibraryList : public QWidget {
  Q_OBJECT

public:
  static constexpr int spacing = 4;
  static constexpr int padding = 24;
  static constexpr int overscan = 400;
  static constexpr int estimatedHeight = 130;

  LibraryList(LibraryPageModel& page, std::function<void(const DropSnapshot&)> select,
              QWidget* parent = nullptr);
  ~LibraryList() override;

  // Where the row of `index` (of the page's filtered rows) lies in the list.
  QRect rowRect(qsizetype index) const;
  // Centres the row with `identity` in the enclosing scroll area, as far as it can scroll.
  void scrollTo(const QString& identity);
  // The live row widgets, and the one showing `identity` (none when it is not on screen).
  QList<LibraryIdeaRow*> rows() const;
  LibraryIdeaRow* rowFor(const QString& identity) const;
  // The context menu of a row, built from the account's collections now.
  QMenu* contextMenu(const DropSnapshot& snapshot, QWidget* parent);
  // How many row heights were measured so far.
  int measurements() const { return m_measurements; }

  QSize sizeHint() const override;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // The page's rows changed: heights from the cache, the whole height, then the live rows.
  void rebuild();
  // What the rows show may have changed: every height is measured again.
  void remeasure();
  void recomputeOffsets();
  void placeRows();
  void placeRowsOnce();
  // Hands the live rows whose identity `keep` rejects back to the spares, hidden.
  void retireUnless(const std::function<bool(const QString&)>& keep);
  void syncScrollArea();
  bool inScrollArea() const;
  // The part of the list inside the scroll area's viewport (the window without one).
  QRect visibleRect() const;
  void findScrollArea();
  int rowWidth() const;
  int heightOf(const QString& identity, const DropSnapshot& snapshot);
  // Measures the row of `index` unless it was; whether it had to.
  bool measure(qsizetype index);
  std::optional<int> cachedHeight(const QString& identity) const;
  qsizetype indexAt(int y) const;
  LibraryIdeaRow* takeRow(qsizetype index);
  void bind(LibraryIdeaRow* row, qsizetype index);
  // Measures the rows within a screen of the row of `index`, so that its place is known.
  void measureAround(qsizetype index);

  // Keyboard focus by Tab: a stop is a control of a row.
  struct FocusStop {
    qsizetype row;
    int control; // index into the row's controls in Tab order
  };
  std::optional<FocusStop> focusedStop() const;
  // Scrolls the row of `index` just into view, with its widget placed.
  void bringIntoView(qsizetype index);
  // Gives the focus to the first stop from `from` on (or back, not `forward`) that takes it.
  bool focusFrom(FocusStop from, bool forward);
  // Focus comes in from outside the list by Tab (or Shift+Tab): to the first row, or the
  // last row's last control.
  void enter(bool backwards);
  // The window's order gave the list, or a control of a row, the focus by Tab: from outside
  // the list, it goes where enter() puts it instead.
  void tabbedInto(bool backwards);
  // Tab or Shift+Tab pressed on `focus`, outside the list, that would bring the focus into
  // it: the list takes it in itself; whether it did.
  bool tabInto(QWidget* focus, const QKeyEvent* key);
  // Hands the focus to the widget before or after the list in the window's focus order.
  bool leave(bool forward);
  // Opens the selected row, if there is one; whether it did.
  bool openSelection();
  // Return or Enter pressed on `focus`, before it acts on the key: inside a row, the list
  // opens its selection instead; whether it took the key.
  bool openFromRow(QWidget* focus, const QKeyEvent* key);

  LibraryPageModel& m_page;
  std::function<void(const DropSnapshot&)> m_select;
  // The enclosing scroll area, its viewport and its vertical scroll bar. Held as what they
  // are at every stage of their destruction, which may still send events here.
  QPointer<QWidget> m_area;
  QPointer<QWidget> m_viewport;
  QPointer<QScrollBar> m_bar;
  // By identity, the measured heights by width.
  QHash<QString, QHash<int, int>> m_heights;
  QStringList m_identities;
  QList<int> m_rowHeights; // measured, or the estimate
  QList<bool> m_isMeasured;
  QList<int> m_offsets; // top of each row; one more entry: the end of the last
  int m_measured = 0;   // rows measured at the current width, for the estimate
  qint64 m_measuredTotal = 0;
  int m_measurements = 0;
  QHash<QString, LibraryIdeaRow*> m_live;
  QList<LibraryIdeaRow*> m_spare;
  std::unique_ptr<LibraryIdeaRow> m_measuringRow;
  std::optional<QString> m_hovered;
  std::optional<QString> m_focused;
  bool m_placing = false;
  // The list moves the focus itself: the Tab it gives is not one from outside.
  bool m_movingFocus = false;
  // Whether the focus was last inside the list (on it or one of its rows).
  bool m_focusInside = false;
  // Whether the focus was last on the page around the list (its scroll area, say).
  bool m_focusAround = false;
  QMetaObject::Connection m_focusWatch;
  QObject* m_keyWatch = nullptr; // sees the keys of the application: goes first
  bool m_placeAgain = false;
  bool m_updating = false;
  // The width changed while the list laid itself out: the rows are measured again after.
  bool m_rebuildQueued = false;
};

} // namespace brindlewick
