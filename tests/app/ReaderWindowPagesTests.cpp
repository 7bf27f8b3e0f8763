#include "TestOutput.h"
#include "app/LaunchedReaderWindow.h"
#include "panel/ReadingWindow.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropSelectionStyle.h"
#include "ui/design/UiEnvironment.h"
#include "ui/reading/DetailView.h"
#include "ui/reading/SourceRow.h"
#include "ui/settings/SettingsController.h"
#include "ui/settings/SettingsSaveBar.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/ThisComputerSection.h"
#include "ui/window/ReaderHome.h"
#include "ui/window/ReaderSidebar.h"
#include "ui/window/ReaderWorkspace.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// The reader window as the application opens it, in the light scheme. Motion is off, so
// fades end at once.
struct Launched : LaunchedReaderWindow {
  Launched() : LaunchedReaderWindow({.scheme = ColorScheme::light, .reduceMotion = true}) {}

  DropSnapshot drop(int index) {
    return *model.repository().snapshot(fixture.release().release.lore[index].id);
  }
  ReaderHome& home() { return *delegate.window()->findChild<ReaderHome*>(); }
  ReaderWorkspace& workspace() { return *home().workspace(); }
  QScrollBar& scroll() { return *workspace().verticalScrollBar(); }
  // `widget`'s rectangle in the workspace's viewport.
  QRect inViewport(const QWidget* widget) {
    return QRect(widget->mapTo(workspace().viewport(), QPoint()), widget->size());
  }

  // The wheel over the page, one notch down at a time, until `widget` is wholly in view.
  void scrollIntoView(const QWidget* widget) {
    QWidget* viewport = workspace().viewport();
    for (int notch = 0; notch < 100 && !viewport->rect().contains(inViewport(widget)); ++notch) {
      const QPoint middle = viewport->rect().center();
      QWheelEvent wheel(QPointF(middle), QPointF(viewport->mapToGlobal(middle)), QPoint(), QPoint(0, -120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(viewport, &wheel);
      QApplication::processEvents();
    }
    ASSERT_TRUE(viewport->rect().contains(inViewport(widget))) << widget->objectName().toStdString();
  }
  // A click in the middle of `widget`, brought into view first as the reader would when it
  // is on the page.
  void click(QWidget* widget, QPoint at = {}) {
    ASSERT_NE(widget, nullptr);
    if (workspace().isAncestorOf(widget))
      scrollIntoView(widget);
    QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
    QApplication::processEvents();
  }
};

// Depth first, as a screen reader walks the window.
void walk(QAccessibleInterface* element, QList<QAccessibleInterface*>& order) {
  order.append(element);
  for (int index = 0; index < element->childCount(); ++index)
    if (QAccessibleInterface* child = element->child(index))
      walk(child, order);
}

QList<QAccessibleInterface*> readingOrder(QWidget* window) {
  QList<QAccessibleInterface*> order;
  walk(QAccessible::queryAccessibleInterface(window), order);
  return order;
}

// Where the first element that is `widget` or inside it comes in `order`; -1 if none.
qsizetype firstWithin(const QList<QAccessibleInterface*>& order, const QWidget* widget) {
  for (qsizetype index = 0; index < order.size(); ++index) {
    const auto* object = qobject_cast<const QWidget*>(order[index]->object());
    if (object != nullptr && (object == widget || widget->isAncestorOf(object)))
      return index;
  }
  return -1;
}

// With "Surprise me" switched off, the topic grid takes exactly its room: the save bar follows
// the last section, and after Save it is still where the reader left it, in view.
TEST(ReaderWindowPages, SettingsWithoutSurpriseLeaveNoBandAndSaveKeepsTheBarInView) {
  Launched launched;
  launched.show(ReaderTab::welcome);
  launched.click(launched.home().sidebar()->row(ReaderTab::settings));
  auto* page = qobject_cast<SettingsView*>(launched.home().page());
  ASSERT_NE(page, nullptr);
  auto* surprise = page->findChild<QCheckBox*>(QStringLiteral("settings.surpriseMe"));
  ASSERT_TRUE(surprise->isChecked());
  launched.click(surprise, QPoint(8, surprise->height() / 2));
  ASSERT_FALSE(surprise->isChecked());
  auto* topic = page->findChild<QCheckBox*>(QStringLiteral("settings.topic.psychology"));
  ASSERT_TRUE(topic->isVisible());
  launched.click(topic, QPoint(8, topic->height() / 2));

  SettingsSaveBar* bar = page->saveBar();
  launched.scrollIntoView(bar);
  // The last section, its inset (24), the divider and the bar's inset (16): nothing more.
  const QWidget* last = page->thisComputer();
  const int gap = bar->mapTo(page, QPoint()).y() - (last->mapTo(page, QPoint()).y() + last->height());
  EXPECT_LE(gap, 24 + 2 + 16);
  EXPECT_GE(gap, 24 + 16);
  launched.delegate.window()->grab().save(
      brindlewick::testing::testOutputPath(QStringLiteral("settings-bottom-no-surprise.png")));

  launched.click(bar->saveButton());
  ASSERT_TRUE(waitUntil([&] { return page->controller().saved(); }));
  QApplication::processEvents();
  EXPECT_TRUE(launched.workspace().viewport()->rect().contains(launched.inViewport(bar)));
  EXPECT_EQ(bar->message(), SettingsSaveBar::savedText);
}

// Every page gets the height its content needs at its width, neither cut off nor padded:
// the workspace scrolls exactly to the foot of the page card.
TEST(ReaderWindowPages, EveryPageIsAsTallAsItsContent) {
  Launched launched;
  for (const ReaderTab tab : {ReaderTab::welcome, ReaderTab::discover, ReaderTab::saved, ReaderTab::history,
                              ReaderTab::read, ReaderTab::settings}) {
    SCOPED_TRACE(id(tab).toStdString());
    launched.show(tab, tab == ReaderTab::read ? std::optional(launched.drop(4)) : std::nullopt);
    QWidget* page = launched.home().page();
    ASSERT_NE(page, nullptr);
    const auto needed = [page] {
      return page->hasHeightForWidth() ? page->heightForWidth(page->width())
                                       : page->minimumSizeHint().height();
    };
    // Once what the page reads as it opens has come in and the layouts have settled; taller
    // only to fill a window the page is shorter than.
    EXPECT_TRUE(QTest::qWaitFor([&] {
      return launched.scroll().maximum() > 0 ? page->height() == needed() : page->height() >= needed();
    })) << page->height()
        << " for " << needed();
  }
}

// A related idea clicked far down the reading page opens its own page at the top, headline
// first; so does any page that replaces another.
TEST(ReaderWindowPages, ARelatedIdeaOpensAtTheTopOfItsPage) {
  Launched launched;
  const DropSnapshot idea = launched.drop(4); // every fourth drop has a related idea
  ASSERT_FALSE(idea.lore.relatedLoreIds.isEmpty());
  launched.show(ReaderTab::read, idea);
  auto* page = qobject_cast<DetailView*>(launched.home().page());
  ASSERT_NE(page, nullptr);
  ASSERT_FALSE(page->relatedButtons().isEmpty());
  DropButton* related = page->relatedButtons().first();
  launched.click(related);
  ASSERT_TRUE(waitUntil([&] {
    return launched.model.detail() && launched.model.detail()->id() == idea.lore.relatedLoreIds.first();
  }));
  QApplication::processEvents();
  auto* next = qobject_cast<DetailView*>(launched.home().page());
  ASSERT_NE(next, nullptr);
  ASSERT_NE(next, page);
  EXPECT_EQ(launched.scroll().value(), 0);
  EXPECT_TRUE(launched.workspace().viewport()->rect().contains(launched.inViewport(next->explanation())));

  // Back by its button (reached by the wheel), the library starts at the top too.
  launched.click(next->backButton());
  EXPECT_EQ(launched.model.navigationTab(), ReaderTab::discover);
  EXPECT_EQ(launched.scroll().value(), 0);
}

// What a screen reader meets: the sidebar before the page; a source as one element; the text
// sizes as one named group of three choices.
TEST(ReaderWindowPages, AssistiveTechnologyMeetsTheSidebarFirstAndReadsSourcesAndSizesWhole) {
  Launched launched;
  QWidget* window = launched.delegate.window();
  const DropSnapshot idea = launched.drop(4);
  ASSERT_GE(idea.sources.size(), 1);
  launched.show(ReaderTab::read, idea);

  QList<QAccessibleInterface*> order = readingOrder(window);
  const qsizetype sidebar = firstWithin(order, launched.home().sidebar());
  const qsizetype workspace = firstWithin(order, &launched.workspace());
  ASSERT_GE(sidebar, 0);
  ASSERT_GE(workspace, 0);
  EXPECT_LT(sidebar, workspace);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&launched.home())->child(0)->object(),
            launched.home().sidebar());

  const QList<SourceRow*> rows = launched.home().page()->findChildren<SourceRow*>();
  ASSERT_EQ(rows.size(), idea.sources.size());
  for (qsizetype index = 0; index < rows.size(); ++index) {
    const Source& source = idea.sources[index];
    SCOPED_TRACE(source.title.toStdString());
    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(rows[index]);
    EXPECT_GE(order.indexOf(row), 0);
    EXPECT_EQ(row->childCount(), 0);
    EXPECT_EQ(row->text(QAccessible::Name), source.title + QStringLiteral(", ") + source.locator);
    // Neither of its texts is met on its own.
    EXPECT_EQ(firstWithin(order, rows[index]), order.indexOf(row));
  }

  launched.show(ReaderTab::settings);
  order = readingOrder(window);
  QWidget* sizes = launched.home().page()->findChild<QWidget*>(QStringLiteral("settings.textScale"));
  ASSERT_NE(sizes, nullptr);
  QAccessibleInterface* group = QAccessible::queryAccessibleInterface(sizes);
  EXPECT_GE(order.indexOf(group), 0);
  EXPECT_EQ(group->role(), QAccessible::Grouping);
  EXPECT_EQ(group->text(QAccessible::Name), QStringLiteral("Text size"));
  const QStringList choices{QStringLiteral("Standard"), QStringLiteral("Larger"), QStringLiteral("Largest")};
  ASSERT_EQ(group->childCount(), choices.size());
  for (int index = 0; index < group->childCount(); ++index) {
    QAccessibleInterface* choice = group->child(index);
    EXPECT_EQ(choice->role(), QAccessible::RadioButton);
    EXPECT_EQ(choice->text(QAccessible::Name), choices[index]);
    EXPECT_EQ(choice->state().checked, index == 0); // the stored scale is 1.0
  }
  // The name is heard once: the row's visible label is not met apart from the group.
  qsizetype named = 0;
  for (QAccessibleInterface* element : order)
    named += element->text(QAccessible::Name) == QStringLiteral("Text size");
  EXPECT_EQ(named, 1);
}

} // namespace
