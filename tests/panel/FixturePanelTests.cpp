#include "panel/FixturePanel.h"

#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace brindlewick;

TEST(FixturePanel, ShowsItsTextsAsPlainTextFittingThePanelAndRunsItsDismissAction) {
  int dismissals = 0;
  FixturePanel panel([&dismissals] { ++dismissals; });
  EXPECT_EQ(panel.caption()->text(), QStringLiteral("BRINDLEWICK · PROTOTYPE"));
  EXPECT_EQ(panel.title()->text(), QStringLiteral("A quiet moment, without taking focus."));
  EXPECT_EQ(panel.note()->text(),
            QStringLiteral("Fixture text only. This gate tests safe display geometry and a nonactivating "
                           "panel—not the reader or delivery schedule."));
  EXPECT_EQ(panel.footer()->text(), QStringLiteral("Dismiss here or from the menu bar."));
  EXPECT_EQ(panel.closeButton()->accessibleName(), QStringLiteral("Dismiss prototype"));

  // At the default panel content size every text is shown whole.
  panel.resize(420, 196);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  for (const QLabel* label : {panel.caption(), panel.title(), panel.note(), panel.footer()}) {
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_GE(label->height(),
              label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height())
        << label->text().toStdString();
  }
  EXPECT_LE(panel.footer()->geometry().bottom(), 196 - 18);

  QTest::mouseClick(panel.closeButton(), Qt::LeftButton);
  EXPECT_EQ(dismissals, 1);
  FixturePanel withoutAction(nullptr);
  withoutAction.closeButton()->click(); // nothing to run, nothing fails
}
