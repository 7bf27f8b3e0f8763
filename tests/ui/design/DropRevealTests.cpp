#include "AsyncProbe.h"
#include "TestOutput.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropEmptyState.h"
#include "ui/design/DropReveal.h"
#include "ui/design/UiEnvironment.h"
#include "ui/library/LibraryView.h"
#include "ui/settings/SettingsController.h"
#include "ui/settings/SettingsSaveBar.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/TopicGrid.h"
#include "ui/settings/TopicToggle.h"

#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QTest>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <functional>

namespace brindlewick {
namespace {

QGraphicsOpacityEffect* fadeOf(const QWidget* widget) {
  return qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
}

// One piece of content that comes or goes: the page it lives on, how to find it, and the
// reader's action that shows or hides it.
struct Case {
  const char* name;
  std::function<std::unique_ptr<QWidget>(ReaderModel&)> page;
  std::function<QWidget*(QWidget&)> content;
  std::function<void(QWidget&)> act;
  bool shownAfter;
  int milliseconds = DropMotion::entranceMilliseconds;
};

void click(QWidget* widget) {
  ASSERT_NE(widget, nullptr);
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(4, widget->height() / 2));
}

std::unique_ptr<QWidget> settings(ReaderModel& model) {
  return std::make_unique<SettingsView>(model);
}

std::unique_ptr<QWidget> filteredLibrary(ReaderModel& model) {
  model.setLibrarySearch(QStringLiteral("no idea says this"));
  return std::make_unique<LibraryView>(model, ReaderTab::discover, [](const DropSnapshot&) {});
}

const Case cases[] = {
    {"quiet hours appear with their switch", settings,
     [](QWidget& page) { return page.findChild<QWidget*>(QStringLiteral("layout.settings.Quiet hours")); },
     [](QWidget& page) { click(page.findChild<QCheckBox*>(QStringLiteral("settings.quiet"))); }, true},
    {"topics go with Surprise me", settings,
     [](QWidget& page) { return static_cast<QWidget*>(static_cast<SettingsView&>(page).topicGrid()); },
     [](QWidget& page) { click(page.findChild<QCheckBox*>(QStringLiteral("settings.surpriseMe"))); }, false},
    {"the save bar's note changes with an edit", settings,
     [](QWidget& page) {
       // Saved first, so that the edit takes the note away.
       auto& view = static_cast<SettingsView&>(page);
       view.saveBar()->saveButton()->click();
       EXPECT_TRUE(waitUntil([&] { return view.controller().saved(); }));
       auto* message = view.saveBar()->findChild<QWidget*>(QStringLiteral("settings.saveBar.message"));
       EXPECT_TRUE(waitUntil([&] { return fadeOf(message) == nullptr; }));
       return message;
     },
     [](QWidget& page) { click(page.findChild<TopicToggle*>(QStringLiteral("settings.topic.design"))); },
     true, DropMotion::feedbackMilliseconds},
    {"the library's empty state goes with Clear filters", filteredLibrary,
     [](QWidget& page) { return static_cast<LibraryView&>(page).emptyState(); },
     [](QWidget& page) {
       auto* empty = qobject_cast<DropEmptyState*>(static_cast<LibraryView&>(page).emptyState());
       ASSERT_NE(empty, nullptr);
       QTest::mouseClick(empty->actionButton(), Qt::LeftButton);
     },
     false},
};

TEST(DropRevealTest, ContentFadesInAndOutUnlessMotionIsReduced) {
  for (const bool reduceMotion : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (reduceMotion ? ", Reduce Motion" : ""));
      UiEnvironment::instance().setOverrides({.reduceMotion = reduceMotion});
      ReaderModelFixture fx;
      ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
      preferences.surpriseMe = false;
      preferences.topics = {QStringLiteral("science"), QStringLiteral("history")};
      fx.signIn(preferences);
      std::unique_ptr<QWidget> page = c.page(fx.open());
      page->resize(800, 1400);
      page->show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
      QPointer<QWidget> content = c.content(*page);
      ASSERT_NE(content, nullptr);
      ASSERT_EQ(fadeOf(content), nullptr);

      c.act(*page);
      if (reduceMotion) {
        // The end state at once, without an effect.
        EXPECT_EQ(content && DropReveal::isShown(content), c.shownAfter);
        EXPECT_EQ(content && content->isVisible(), c.shownAfter);
        EXPECT_TRUE(!content || fadeOf(content) == nullptr);
      } else {
        // Still on screen, fading towards the end state with the motion of the content, and
        // then there with the effect gone.
        ASSERT_NE(content, nullptr);
        EXPECT_TRUE(content->isVisible());
        ASSERT_NE(fadeOf(content), nullptr);
        const auto* fade = content->findChild<QVariantAnimation*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(fade, nullptr);
        EXPECT_EQ(fade->duration(), c.milliseconds);
        EXPECT_EQ(fade->endValue().toReal(), c.shownAfter ? 1.0 : 0.0);
        EXPECT_TRUE(waitUntil([&] { return !content || fadeOf(content) == nullptr; }, 2000));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(content && content->isVisible(), c.shownAfter);
      }
    }
  }
  UiEnvironment::instance().setOverrides({});
}

// Content that is not on screen does not fade: it is hidden or shown at once.
TEST(DropRevealTest, NothingFadesOffScreenOrUnderAnotherEffect) {
  UiEnvironment::instance().setOverrides({.reduceMotion = false});
  QWidget parent;
  auto* child = new QWidget(&parent);
  DropReveal::setShown(child, false);
  parent.show();
  EXPECT_FALSE(child->isVisible()); // hidden for good, not shown with its parent
  DropReveal::setShown(child, true);
  ASSERT_NE(fadeOf(child), nullptr);
  // A fade taken over half-way: it leaves from where it was.
  fadeOf(child)->setOpacity(0.5);
  DropReveal::setShown(child, false);
  EXPECT_TRUE(child->isVisible());
  EXPECT_DOUBLE_EQ(fadeOf(child)->opacity(), 0.5);
  DropReveal::setShown(child, true);
  EXPECT_TRUE(DropReveal::isShown(child));
  EXPECT_TRUE(waitUntil([&] { return fadeOf(child) == nullptr; }, 2000));
  EXPECT_TRUE(child->isVisible());

  // Under a parent that already fades, the child's own effect would not be painted.
  auto* grand = new QWidget(child);
  grand->hide();
  child->setGraphicsEffect(new QGraphicsOpacityEffect);
  DropReveal::setShown(grand, true);
  EXPECT_TRUE(grand->isVisible());
  EXPECT_EQ(grand->graphicsEffect(), nullptr);
  UiEnvironment::instance().setOverrides({});
}

// The library's empty state half-way through fading in, for a person to look at.
TEST(DropRevealTest, RenderLibraryEmptyStateHalfWay) {
  UiEnvironment::instance().setOverrides({.reduceMotion = false});
  ReaderModelFixture fx;
  fx.signIn();
  ReaderModel& model = fx.open();
  LibraryView view(model, ReaderTab::discover, [](const DropSnapshot&) {});
  view.resize(720, 560);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  model.setLibrarySearch(QStringLiteral("no idea says this"));
  ASSERT_TRUE(waitUntil([&] { return view.emptyState() != nullptr; }));
  QWidget* empty = view.emptyState();
  auto* fade = empty->findChild<QVariantAnimation*>();
  ASSERT_NE(fade, nullptr);
  fade->pause();
  fade->setCurrentTime(fade->duration() / 2);
  ASSERT_NE(fadeOf(empty), nullptr);
  EXPECT_GT(fadeOf(empty)->opacity(), 0.2);
  EXPECT_LT(fadeOf(empty)->opacity(), 0.9);
  // The page keeps its full height under a window; the picture is of its top.
  EXPECT_TRUE(view.grab(QRect(0, 0, view.width(), 480))
                  .save(testing::testOutputPath(QStringLiteral("library-empty-state-fade.png"))));
  UiEnvironment::instance().setOverrides({});
}

} // namespace
} // namespace brindlewick
