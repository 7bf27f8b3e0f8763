#include "ui/design/DropButton.h"
#include "ui/design/DropEmptyState.h"
#include "ui/design/DropFilterMenu.h"
#include "ui/design/DropTextBlock.h"

#include <QAction>
#include <QApplication>
#include <QFontMetricsF>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTextDocument>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace brindlewick {
namespace {

const QString kLongTitle = QStringLiteral("The Structure of Scientific Revolutions & Its Critics");

TEST(DropFilterMenu, ALongChoiceIsElidedAtItsEndAndTheChevronKeepsItsPlace) {
  const QFont font = DropButtonStyle{}.labelFont(false).font();
  const QRectF content(18, 0, 154, 40); // a 190-wide control less its padding
  const DropFilterMenu::LabelLayout label = DropFilterMenu::layOutLabel(content, kLongTitle, font);
  EXPECT_TRUE(label.text.endsWith(QStringLiteral("\u2026")));
  EXPECT_TRUE(kLongTitle.startsWith(label.text.chopped(1)));
  EXPECT_LE(QFontMetricsF(font).horizontalAdvance(label.text), label.textRect.width());
  EXPECT_EQ(label.chevronRect.right(), content.right());
  EXPECT_LT(label.textRect.right(), label.chevronRect.left());
  // A short choice is shown whole.
  EXPECT_EQ(DropFilterMenu::layOutLabel(content, QStringLiteral("All books"), font).text,
            QStringLiteral("All books"));
}

TEST(DropFilterMenu, TheWholeChoiceIsInTheTooltipAndDescriptionAndAmpersandsShow) {
  QWidget window;
  QMenu menu;
  QAction* choice = menu.addAction(DropFilterMenu::actionText(kLongTitle));
  DropFilterMenu filter(QStringLiteral("Books & authors"), kLongTitle, &menu, &window);
  filter.setFixedShapeWidth(190);
  QTextDocument tooltip;
  tooltip.setHtml(filter.toolTip());
  EXPECT_EQ(tooltip.toPlainText(), QStringLiteral("Books & authors: ") + kLongTitle);
  EXPECT_EQ(filter.accessibleName(), QStringLiteral("Books & authors"));
  EXPECT_EQ(filter.accessibleDescription(), kLongTitle);
  // In a menu one "&" marks a shortcut; the doubled one is shown as itself.
  EXPECT_EQ(choice->iconText(), kLongTitle);

  // The menu pops up and the press returns at once.
  window.show();
  QTest::mouseClick(&filter, Qt::LeftButton, {}, filter.shapeRect().center());
  EXPECT_TRUE(menu.isVisible());
  menu.hide();
}

// A text's own menu (DropContextMenu) is not kept once the reader closes it, by Escape or by a
// click beside it: each right click makes a new one, which would otherwise pile up under the text.
TEST(DropContextMenu, ATextsMenuIsDeletedOnceItCloses) {
  const struct {
    const char* name;
    std::function<void(QWindow*)> close;
  } rows[] = {
      {"Escape", [](QWindow* window) { QTest::keyClick(window, Qt::Key_Escape); }},
      {"a click beside it",
       [](QWindow* window) { QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(380, 180)); }},
  };
  QWidget window;
  window.resize(400, 200);
  auto* text = new DropTextBlock(QStringLiteral("Leverage hides where few look."), &window);
  text->setSelectable(true);
  text->setGeometry(10, 10, 200, 30);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, text->geometry().center());
    const QPointer<QMenu> menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_FALSE(menu.isNull());
    EXPECT_EQ(menu->parentWidget(), text);
    row.close(window.windowHandle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu.isNull(); }, 2000)) << "the closed menu stayed";
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(text->findChildren<QMenu*>().isEmpty());
  }
}

TEST(DropEmptyState, StaysInItsColumnCentredInAWideWorkspace) {
  DropEmptyState state(
      QStringLiteral("clock"), QStringLiteral("Your reading starts here"),
      QStringLiteral("The ideas you read will appear here. A longer message wraps within the "
                     "column, centred, with extra space between its lines."),
      QStringLiteral("Discover ideas"));
  state.resize(1200, state.heightForWidth(1200));
  state.show();
  const DropTextBlock* message = state.messageLabel();
  const QRect column(message->mapTo(&state, QPoint()), message->size());
  EXPECT_LE(column.width(), DropEmptyState::columnWidth);
  EXPECT_NEAR(column.center().x(), 600, 1);
  EXPECT_GT(message->height(), 2 * QFontMetricsF(message->textFont()).height()); // wrapped
  EXPECT_EQ(state.actionButton()->buttonStyle(), dropControl({.prominent = true}));
}

} // namespace
} // namespace brindlewick
