#pragma once

// A reader's walk through the lists of choices under a pointer that rests where they open: the
// library's long filter list and a settings picker, each opened from the keys, walked down with
// Down past the rows in view, chosen with Return; then pointed at and clicked. Shared by the
// test on the offscreen platform and the one on a real X server.
#include "TestOutput.h"
#include "ui/design/DropFilterMenu.h"
#include "ui/design/DropStandardStyle.h"
#include "ui/settings/ReadingTimeRange.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace brindlewick::testing {

// A control that opens a list of choices, as a page holds it.
struct Choices {
  QWidget* shown = nullptr;    // what the window holds
  QWidget* control = nullptr;  // what holds the keyboard and opens the list
  std::function<int()> chosen; // the row the reader chose last
};

struct ChoiceKind {
  const char* name;
  const char* picture; // the name its renders take
  QString listName;    // what assistive technology calls the open list
  bool centred;        // whether it opens with the reader's choice in the middle of its rows
  std::function<Choices(QWidget& window)> build;
};

// The library's filter of 30 topics, "All topics" checked.
inline Choices topicFilter(QWidget& window) {
  auto* menu = new QMenu(&window);
  auto* group = new QActionGroup(menu);
  for (int topic = 0; topic < 30; ++topic) {
    QAction* action =
        menu->addAction(topic == 0 ? QStringLiteral("All topics") : QStringLiteral("Topic %1").arg(topic));
    action->setCheckable(true);
    action->setChecked(topic == 0);
    group->addAction(action);
  }
  auto* filter = new DropFilterMenu(QStringLiteral("Filter by topic"), QStringLiteral("All topics"), menu);
  menu->setParent(filter, menu->windowFlags()); // the button goes first, as in a page
  return {filter, filter, [menu, group] { return int(menu->actions().indexOf(group->checkedAction())); }};
}

// The settings' minute picker of a reading time, at minute 0.
inline Choices minutePicker(QWidget&) {
  auto* range = new ReadingTimeRange(QStringLiteral("Working hours"));
  range->setMinutes(9 * 60, 17 * 60);
  QComboBox* picker = range->startMinute();
  return {range, picker, [picker] { return picker->currentIndex(); }};
}

inline const ChoiceKind kChoiceKinds[] = {
    {"the library's filter list", "filter", QStringLiteral("Filter by topic"), true, topicFilter},
    {"a settings picker", "picker", QString(), false, minutePicker},
};

// The list a control opened: our long list, or a combo box's inside its frame.
struct OpenList {
  QWidget* popup = QApplication::activePopupWidget();

  QAbstractItemView* view() const {
    auto* view = qobject_cast<QAbstractItemView*>(popup);
    return view != nullptr ? view : popup->findChild<QAbstractItemView*>();
  }
  int current() const { return view()->currentIndex().row(); }
  QRect rowRect(int row) const { return view()->visualRect(view()->model()->index(row, 0)); }
  QPoint rowCentre(int row) const { return view()->viewport()->mapToGlobal(rowRect(row).center()); }
  // The rows shown whole and filled, told from the bare surface beside them.
  QList<int> litRows() const {
    const QImage shown = popup->grab().toImage();
    const QRect visible(view()->viewport()->mapTo(popup, QPoint()), view()->viewport()->size());
    QList<int> lit;
    for (int row = 0; row < view()->model()->rowCount(); ++row) {
      const QRect rect(view()->viewport()->mapTo(popup, rowRect(row).topLeft()), rowRect(row).size());
      const int y = rect.center().y();
      if (visible.contains(rect) && shown.pixel(DropStandardStyle::popupInset + 4, y) != shown.pixel(2, y))
        lit.append(row);
    }
    return lit;
  }
};

// A key as the window system gives it: to the active window, which hands it to its pop-up.
inline void pressKey(QWidget& window, Qt::Key key) {
  QWidget* popup = QApplication::activePopupWidget();
  QTest::keyClick(popup != nullptr ? popup->windowHandle() : window.windowHandle(), key);
}

inline bool listClosed() {
  return QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
}

constexpr int kChoiceDowns = 12; // past the ten rows a list shows, so the last ones scroll it

// Opened from the keys under a pointer at rest over its lower rows, the list moves its current
// row with each Down, and lights only that row, also when the Downs scroll it under the
// pointer; Return chooses it. A real move of the pointer then makes the row under it current,
// and a click chooses it. While the list is open the first time, `whileOpen` looks at it.
inline void walkUnderARestingPointer(const ChoiceKind& kind,
                                     const std::function<void(const Choices&, const OpenList&)>& whileOpen) {
  SCOPED_TRACE(kind.name);
  QWidget window;
  const Choices choices = kind.build(window);
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(choices.shown);
  window.adjustSize();
  window.move(QGuiApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(40, 40));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  choices.control->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return choices.control->hasFocus(); }, 2000));
  const int start = choices.chosen();
  std::optional<QPoint> resting;
  const auto open = [&] {
    pressKey(window, Qt::Key_Space);
    QApplication::processEvents(); // the window system's answer to the pop-up
    const OpenList opened;
    // A window system tells a list that opens under the pointer where the pointer is: a move
    // to the spot where it rests, which the reader never made. (The offscreen platform keeps a
    // move to where its pointer already is from the list: the run on an X server meets it.)
    if (resting && opened.popup != nullptr)
      QTest::mouseMove(opened.popup->windowHandle(), opened.popup->windowHandle()->mapFromGlobal(*resting));
    return opened;
  };

  // Where the pointer will rest: over the lower rows of the list, when it opens again.
  OpenList list = open();
  ASSERT_NE(list.popup, nullptr);
  const int width = list.popup->width();
  QWidget* viewport = list.view()->viewport();
  resting = viewport->mapToGlobal(QPoint(24, viewport->height() * 3 / 4));
  pressKey(window, Qt::Key_Escape);
  ASSERT_TRUE(listClosed());
  QCursor::setPos(*resting);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QCursor::pos() == *resting; }, 2000));
  QApplication::processEvents();

  list = open();
  ASSERT_NE(list.popup, nullptr);
  EXPECT_EQ(list.popup->width(), width) << "the list opens as wide each time";
  EXPECT_EQ(list.current(), start);
  // Walking down from the control, a reader finds the open list, named for what it chooses.
  QAccessibleInterface* control = QAccessible::queryAccessibleInterface(choices.control);
  QAccessibleInterface* heard = nullptr;
  for (int child = 0; child < control->childCount(); ++child)
    if (control->child(child)->object() == list.view())
      heard = control->child(child);
  ASSERT_NE(heard, nullptr) << "the open list is not inside its control";
  EXPECT_EQ(heard->role(), QAccessible::List);
  EXPECT_EQ(heard->text(QAccessible::Name), kind.listName);
  if (whileOpen)
    whileOpen(choices, list);

  QList<int> walked;
  QList<int> expected;
  for (int step = 1; step <= kChoiceDowns; ++step) {
    pressKey(window, Qt::Key_Down);
    walked.append(list.current());
    expected.append(start + step);
  }
  EXPECT_EQ(walked, expected);
  EXPECT_GT(list.view()->verticalScrollBar()->value(), 0) << "the keys scrolled the list";
  EXPECT_EQ(list.litRows(), QList<int>{start + kChoiceDowns});
  list.popup->grab().save(testOutputPath(
      QStringLiteral("resting-pointer-%1-keys-%2.png").arg(QGuiApplication::platformName(), kind.picture)));
  pressKey(window, Qt::Key_Return);
  ASSERT_TRUE(listClosed());
  EXPECT_EQ(choices.chosen(), start + kChoiceDowns);
  EXPECT_EQ(QApplication::focusWidget(), choices.control);

  // A real move over a row makes it current, and a click on it chooses it.
  list = open();
  ASSERT_NE(list.popup, nullptr);
  EXPECT_EQ(list.popup->width(), width) << "the list opens as wide each time";
  EXPECT_EQ(list.current(), start + kChoiceDowns);
  if (kind.centred) {
    const QScrollBar* bar = list.view()->verticalScrollBar();
    const int middle =
        list.rowRect(list.current()).center().y() + bar->value() - list.view()->viewport()->height() / 2;
    EXPECT_NEAR(bar->value(), std::clamp(middle, bar->minimum(), bar->maximum()), 1)
        << "the reader's choice is not in the middle of the rows";
  }
  const int pointed = list.view()->indexAt(list.view()->viewport()->mapFromGlobal(*resting)).row() - 2;
  ASSERT_GE(pointed, 0);
  ASSERT_NE(pointed, list.current());
  QCursor::setPos(list.rowCentre(pointed));
  // The window system tells of the move when it comes to it.
  static_cast<void>(QTest::qWaitFor([&] { return list.current() == pointed; }, 2000));
  EXPECT_EQ(list.current(), pointed);
  EXPECT_EQ(list.litRows(), QList<int>{pointed});
  list.popup->grab().save(testOutputPath(
      QStringLiteral("resting-pointer-%1-moved-%2.png").arg(QGuiApplication::platformName(), kind.picture)));
  QTest::mouseClick(list.view()->viewport(), Qt::LeftButton, {}, list.rowRect(pointed).center());
  ASSERT_TRUE(listClosed());
  EXPECT_EQ(choices.chosen(), pointed);
  EXPECT_EQ(QApplication::focusWidget(), choices.control);
}

} // namespace brindlewick::testing
