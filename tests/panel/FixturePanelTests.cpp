#include "panel/FixturePanel.h"

#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace brindlewick;

TEST(FixturePanel, ShowsItsFixedTextsAsPlainText) {
  FixturePanel panel([] {});
  EXPECT_EQ(panel.caption()->text(), QStringLiteral("BRINDLEWICK · PROTOTYPE"));
  EXPECT_EQ(panel.title()->text(), QStringLiteral("A quiet moment, without taking focus."));
  EXPECT_EQ(panel.note()->text(),
            QStringLiteral("Fixture text only. This gate tests safe display geometry and a nonactivating "
                           "panel—not the reader or delivery schedule."));
  EXPECT_EQ(panel.footer()->text(), QStringLiteral("Dismiss here or from the menu bar."));
  EXPECT_EQ(panel.closeButton()->accessibleName(), QStringLiteral("Dismiss prototype"));
  for (const QLabel* label : {panel.caption(), panel.title(), panel.note(), panel.footer()})
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST(FixturePanel, PaintsItsColoursFitsItsTextAndRunsItsDismissAction) {
  int dismissals = 0;
  FixturePanel panel([&dismissals] { ++dismissals; });
  panel.resize(420, 196);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  const QImage image = panel.grab().toImage();
  EXPECT_EQ(image.pixelColor(2, 2), QColor(26, 5, 12));
  EXPECT_EQ(image.pixelColor(2, 193), QColor(26, 5, 12));
  EXPECT_EQ(panel.caption()->palette().color(QPalette::WindowText), FixturePanel::captionColor());
  // The whole text fits the default panel content size.
  for (const QLabel* label : {panel.caption(), panel.title(), panel.note(), panel.footer()})
    EXPECT_GE(label->height(),
              label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height())
        << label->text().toStdString();
  EXPECT_LE(panel.footer()->geometry().bottom(), 196 - 18);

  QTest::mouseClick(panel.closeButton(), Qt::LeftButton);
  EXPECT_EQ(dismissals, 1);
  FixturePanel withoutAction(nullptr);
  withoutAction.closeButton()->click(); // nothing to run, nothing fails
}
