#include "ui/design/FocusInView.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// A field above a followed scroll area of forty buttons, each 40 high, in a window 400 high.
struct Page {
  Page() {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    layout->addWidget(area);
    auto* column = new QWidget;
    auto* buttons = new QVBoxLayout(column);
    for (int index = 0; index < 40; ++index) {
      auto* button = new QPushButton(QStringLiteral("Button %1").arg(index));
      button->setFixedHeight(40);
      button->setFocusPolicy(Qt::StrongFocus);
      buttons->addWidget(button);
      this->buttons.append(button);
    }
    tall->setFixedHeight(900);
    tall->setFocusPolicy(Qt::StrongFocus);
    buttons->addWidget(tall);
    area->setWidget(column);
    area->setWidgetResizable(true);
    area->setFocusPolicy(Qt::NoFocus);
    FocusInView::follow(area);
    window.resize(300, 400);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  QScrollBar& bar() { return *area->verticalScrollBar(); }
  // `widget`'s place in the viewport, the room around it included.
  QRect withRoom(const QWidget* widget) {
    const QRect rect(widget->mapTo(area->viewport(), QPoint()), widget->size());
    return rect.adjusted(0, -FocusInView::room, 0, FocusInView::room);
  }
  // Whether `widget` shows whole, with the room around it where the area goes on beyond it.
  bool inView(const QWidget* widget) {
    QRect wanted = withRoom(widget);
    if (bar().value() == bar().minimum())
      wanted.setTop(std::max(wanted.top(), 0));
    if (bar().value() == bar().maximum())
      wanted.setBottom(std::min(wanted.bottom(), area->viewport()->rect().bottom()));
    return area->viewport()->rect().contains(wanted) &&
           area->viewport()->rect().contains(
               QRect(widget->mapTo(area->viewport(), QPoint()), widget->size()));
  }
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window.windowHandle(), key, modifiers);
  }

  QWidget window;
  QLineEdit* field = new QLineEdit;
  QScrollArea* area = new QScrollArea;
  QList<QPushButton*> buttons;
  QWidget* tall = new QWidget;
};

// Focus the keyboard or the program brings is shown with room around it, wherever it came
// from. (The reader window's tests walk Tab from outside, a click and the window coming back.)
TEST(FocusInView, FocusTheKeyboardOrTheProgramBringsIsShown) {
  struct Row {
    const char* name;
    std::function<QWidget*(Page&)> move;
  };
  const std::vector<Row> rows{
      {"Shift+Tab round the window's start, the area at its top",
       [](Page& page) {
         page.field->setFocus(Qt::OtherFocusReason);
         page.press(Qt::Key_Backtab, Qt::ShiftModifier);
         return page.tall;
       }},
      {"Tab inside the area, onto a control below the view",
       [](Page& page) {
         page.buttons[5]->setFocus(Qt::OtherFocusReason);
         page.bar().setValue(0);
         page.press(Qt::Key_Tab);
         return page.buttons[6];
       }},
      {"the program, far below",
       [](Page& page) {
         page.buttons[30]->setFocus(Qt::OtherFocusReason);
         return page.buttons[30];
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Page page;
    QWidget* expected = row.move(page);
    ASSERT_EQ(QApplication::focusWidget(), expected);
    if (expected == page.tall) {
      // Taller than the view: its top comes in.
      EXPECT_EQ(page.withRoom(page.tall).top(), 0);
    } else {
      EXPECT_TRUE(page.inView(expected))
          << page.withRoom(expected).top() << " " << page.withRoom(expected).bottom();
    }
    QApplication::processEvents();
    EXPECT_TRUE(page.withRoom(expected).intersects(page.area->viewport()->rect()));
  }
}

// What is in view stays: a focus already shown does not move the area, nor does a tall control
// of which a part shows.
TEST(FocusInView, FocusAlreadyInViewDoesNotMoveTheArea) {
  Page page;
  page.bar().setValue(200);
  page.buttons[7]->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(page.bar().value(), 200);
  page.bar().setValue(page.bar().maximum());
  page.tall->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(page.bar().value(), page.bar().maximum());
}

} // namespace
