#include "ui/design/DropSpinner.h"
#include "ui/design/FitLayout.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

QWidget* fixed(int width, int height) {
  auto* widget = new QWidget;
  widget->setFixedSize(width, height);
  return widget;
}

// Two items 100 and 60 wide with 12 between: a row from 172, a column below it, decided anew
// at each width; a hidden item takes no room.
TEST(FitLayoutTest, ARowWhenItFitsElseAColumn) {
  QWidget host;
  auto* layout = new FitLayout(&host);
  QWidget* first = fixed(100, 30);
  QWidget* second = fixed(60, 20);
  layout->addWidget(first);
  layout->addWidget(second);
  struct Case {
    int width;
    bool row;
    QPoint second;
    int height;
  };
  for (const Case& c :
       {Case{300, true, {112, 5}, 30}, Case{172, true, {112, 5}, 30}, Case{171, false, {0, 42}, 62},
        Case{50, false, {0, 42}, 62}, Case{300, true, {112, 5}, 30}}) {
    SCOPED_TRACE(c.width);
    layout->setGeometry(QRect(0, 0, c.width, 100));
    EXPECT_EQ(layout->isRow(), c.row);
    EXPECT_EQ(second->pos(), c.second);
    EXPECT_EQ(layout->heightForWidth(c.width), c.height);
  }
  first->hide();
  layout->setGeometry(QRect(0, 0, 60, 100));
  EXPECT_TRUE(layout->isRow());
  EXPECT_EQ(second->pos(), QPoint(0, 0));
}

TEST(DropSpinnerTest, TicksOnlyWhileVisible) {
  QWidget window;
  auto* spinner = new DropSpinner(DropSpinner::small, &window);
  EXPECT_FALSE(spinner->isSpinning());
  window.show();
  EXPECT_TRUE(spinner->isSpinning());
  window.hide();
  EXPECT_FALSE(spinner->isSpinning());
  window.show();
  spinner->hide();
  EXPECT_FALSE(spinner->isSpinning());
}

} // namespace
} // namespace brindlewick
