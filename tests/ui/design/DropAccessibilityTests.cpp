#include "ui/design/DropAccessibility.h"

#include <QTextDocument>
#include <QWidget>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

TEST(DropAccessibility, NamesAControlShowsItsHelpAsWrittenAndRecordsItsLayout) {
  QWidget row;
  const QString teaser = QStringLiteral("Why <b>less</b> is more & other <img src=x> tales");
  DropAccessibility::describe(&row, QStringLiteral("navigation.saved"), QStringLiteral("Saved"), teaser);
  DropAccessibility::recordLayout(&row, QStringLiteral("layout.navigation.saved"));

  EXPECT_EQ(row.objectName(), QStringLiteral("navigation.saved"));
  EXPECT_EQ(row.accessibleName(), QStringLiteral("Saved"));
  // Qt shows the tooltip as rich text; what the reader sees is exactly what was written.
  QTextDocument shown;
  shown.setHtml(row.toolTip());
  EXPECT_EQ(shown.toPlainText(), teaser);
  EXPECT_EQ(row.property(DropAccessibility::layoutProperty).toString(),
            QStringLiteral("layout.navigation.saved"));
}

} // namespace
} // namespace brindlewick
