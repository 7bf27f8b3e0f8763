#include "ui/design/DropPageEntrance.h"
#include "ui/design/UiEnvironment.h"

#include <QAnimationDriver>
#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QWidget>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// Animation time that moves only when the test says so.
class ManualAnimationDriver : public QAnimationDriver {
public:
  void advanceBy(qint64 milliseconds) {
    // Qt starts the timers of a new animation from the event loop, in two queued steps.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    m_elapsed += milliseconds;
    advance();
  }
  qint64 elapsed() const override { return m_elapsed; }

private:
  qint64 m_elapsed = 0;
};

class PageEntrance : public ::testing::Test {
protected:
  void SetUp() override { driver.install(); }
  void TearDown() override {
    driver.uninstall();
    UiEnvironment::instance().setOverrides({});
  }

  static double opacityOf(const QWidget& page) {
    const auto* effect = qobject_cast<QGraphicsOpacityEffect*>(page.graphicsEffect());
    return effect == nullptr ? 1.0 : effect->opacity();
  }

  ManualAnimationDriver driver;
};

TEST_F(PageEntrance, FadesInOnceEasingOutAndThenDropsTheEffect) {
  QWidget page;
  page.resize(200, 100);
  dropPageEntrance(&page);
  page.show();
  ASSERT_NE(page.graphicsEffect(), nullptr);
  EXPECT_EQ(opacityOf(page), 0.0);

  driver.advanceBy(80); // a third of the way, well past a third of the opacity
  EXPECT_GT(opacityOf(page), 0.45);
  EXPECT_LT(opacityOf(page), 1.0);
  driver.advanceBy(200);
  EXPECT_EQ(page.graphicsEffect(), nullptr);

  page.hide();
  dropPageEntrance(&page);
  page.show();
  EXPECT_EQ(page.graphicsEffect(), nullptr);
}

TEST_F(PageEntrance, UnderReduceMotionOnScreenOrWithAnEffectOfItsOwnAPageDoesNotFade) {
  UiEnvironment::instance().setOverrides({.reduceMotion = true});
  QWidget still;
  dropPageEntrance(&still);
  still.show();
  EXPECT_EQ(still.graphicsEffect(), nullptr);
  UiEnvironment::instance().setOverrides({});

  QWidget shown;
  shown.show();
  dropPageEntrance(&shown);
  shown.hide();
  shown.show();
  EXPECT_EQ(shown.graphicsEffect(), nullptr);

  QWidget blurred;
  auto* own = new QGraphicsOpacityEffect(&blurred);
  own->setOpacity(0.5);
  blurred.setGraphicsEffect(own);
  dropPageEntrance(&blurred);
  blurred.show();
  driver.advanceBy(300);
  EXPECT_EQ(blurred.graphicsEffect(), own);
  EXPECT_EQ(own->opacity(), 0.5);
}

} // namespace
} // namespace brindlewick
