#include "ReaderWindowTestFixture.h"
#include "TestOutput.h"
#include "ui/window/ReaderWorkspace.h"

#include <QImage>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

QImage render(ReaderWindowHarness& w, const QString& name) {
  QApplication::processEvents();
  const QImage picture = w.window.grab().toImage();
  EXPECT_TRUE(picture.save(brindlewick::testing::testOutputPath(name))) << name.toStdString();
  return picture;
}

// The root's point `at` in the window picture.
QColor pixel(const QImage& picture, const ReaderWindowHarness& w, QPoint at) {
  return picture.pixelColor(w.home->mapTo(&w.window, at));
}

int brightness(const QColor& color) {
  return color.red() + color.green() + color.blue();
}

TEST(ReaderWindowRender, WritesTheWindowInEachSizeSchemeAndAccountState) {
  for (const QSize size : {QSize(960, 640), QSize(1440, 900)})
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
      for (const bool signedIn : {true, false}) {
        ReaderWindowHarness w(signedIn, size);
        UiEnvironment::instance().setOverrides({.scheme = scheme, .reduceMotion = true});
        const QString name = QStringLiteral("window-%1x%2-%3-%4.png")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(QLatin1String(scheme == ColorScheme::dark ? "dark" : "light"),
                                      QLatin1String(signedIn ? "signed-in" : "signed-out"));
        const QImage picture = render(w, name);
        SCOPED_TRACE(name.toStdString());
        // The card's corner shows the backdrop, not the card; its middle shows the card.
        const QRect card(w.home->workspace()->card()->mapTo(w.home, QPoint()),
                         w.home->workspace()->card()->size());
        const QColor corner = pixel(picture, w, card.topLeft());
        const QColor inside = pixel(picture, w, card.topLeft() + QPoint(40, 40));
        if (signedIn)
          EXPECT_NE(corner, inside);
        else // the onboarding screen's deep blue covers the sidebar
          EXPECT_GT(pixel(picture, w, QPoint(100, 300)).blue(),
                    pixel(picture, w, QPoint(100, 300)).red() + 40);
      }
}

TEST(ReaderWindowRender, WritesTheDropdownNoticesPauseAndIncreasedContrast) {
  {
    ReaderWindowHarness w(true);
    const QImage before = w.window.grab().toImage();
    w.home->setProfilePresented(true);
    ReaderModelTestAccess::setMessage(*w.model, QStringLiteral("Sync could not finish: <b>offline</b>"));
    const QImage open = render(w, QStringLiteral("window-dropdown-open.png"));
    // The window beneath is dimmed.
    EXPECT_LT(brightness(pixel(open, w, QPoint(600, 500))), brightness(pixel(before, w, QPoint(600, 500))));
  }
  {
    ReaderWindowHarness w(true);
    ReaderModelTestAccess::setSyncIssue(*w.model,
                                        QStringLiteral("The reading service could not be reached."));
    ReaderModelTestAccess::setMessage(*w.model,
                                      QStringLiteral("Your collection could not sync: <i>try later</i>"));
    render(w, QStringLiteral("window-notices.png"));
    EXPECT_TRUE(w.home->workspace()->syncNotice()->isVisibleTo(w.home));
    EXPECT_TRUE(w.home->workspace()->messageNotice()->isVisibleTo(w.home));
  }
  {
    ReaderPreferences paused = ReaderModelFixture::readerPreferences();
    paused.schedule.setPaused(true);
    ReaderWindowHarness w(true, QSize(960, 640), paused);
    render(w, QStringLiteral("window-drops-paused.png"));
  }
  {
    ReaderWindowHarness w(true);
    const QImage standard = w.window.grab().toImage();
    UiEnvironment::instance().setOverrides({.increasedContrast = true, .reduceMotion = true});
    const QImage contrast = render(w, QStringLiteral("window-increased-contrast.png"));
    EXPECT_NE(standard, contrast);
  }
}

} // namespace
} // namespace brindlewick
