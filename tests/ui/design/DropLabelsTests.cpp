#include "ui/design/CategoryAccent.h"
#include "ui/design/DropEyebrow.h"
#include "ui/design/DropScreenHeader.h"
#include "ui/design/DropSectionLabel.h"
#include "ui/design/TextElision.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <cmath>

namespace brindlewick {
namespace {

// A cut that falls just after a word leaves no space before the ellipsis.
TEST(TextElision, TheEllipsisFollowsTheLastLetterShown) {
  const QFont font;
  const QFontMetricsF metrics(font);
  const QString text = QStringLiteral("what they said was not what they did");
  const auto roomFor = [&](const QString& shown) { return metrics.horizontalAdvance(shown) + 0.5; };
  struct Case {
    const char* name;
    QString shown;
    qreal width;
  };
  const Case elided[] = {
      {"whole", text, roomFor(text)},
      {"after a word", QStringLiteral("what they\u2026"), roomFor(QStringLiteral("what they \u2026"))},
      {"inside a word", QStringLiteral("what they sa\u2026"), roomFor(QStringLiteral("what they sa\u2026"))},
  };
  for (const Case& c : elided)
    EXPECT_EQ(TextElision::elide(text, font, c.width), c.shown) << c.name;
  // The end of a text whose rest is not shown always carries the ellipsis.
  const Case cut[] = {
      {"room for all", QStringLiteral("what they\u2026"), 1000},
      {"cut after a word", QStringLiteral("what\u2026"), roomFor(QStringLiteral("what \u2026"))},
  };
  for (const Case& c : cut)
    EXPECT_EQ(TextElision::cut(QStringLiteral("what they "), font, c.width), c.shown) << c.name;
}

TEST(DropLabels, EyebrowCaptionsSpellTopicAndKindInCapitals) {
  EXPECT_EQ(DropEyebrow::caption(Category::psychology, QStringLiteral("question")),
            QStringLiteral("PSYCHOLOGY  \u00B7  QUESTION"));
  EXPECT_EQ(DropEyebrow::caption(Category::science, QStringLiteral("belief_vs_reality")),
            QStringLiteral("SCIENCE  \u00B7  BELIEF VS REALITY"));
}

// On the reading card the eyebrow keeps the dark scheme's accent whatever the scheme, and
// turns white under increased contrast.
TEST(DropLabels, TheCardsEyebrowKeepsTheDarkAccentOrTurnsWhite) {
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    EXPECT_EQ(DropEyebrow::color(Category::history, true, {.scheme = scheme}),
              accent(Category::history, ColorScheme::dark));
    EXPECT_EQ(DropEyebrow::color(Category::history, false, {.scheme = scheme}),
              accent(Category::history, scheme));
    EXPECT_EQ(DropEyebrow::color(Category::history, true, {.scheme = scheme, .increasedContrast = true}),
              QColor(Qt::white));
  }
}

TEST(DropLabels, TheTrailingNoteStaysOnTheCaptionsBaselineWhileTheTitleWraps) {
  DropScreenHeader header(QStringLiteral("Library"),
                          QStringLiteral("Everything you saved to read again, and more"),
                          QStringLiteral("Next drop 10:30"));
  const int width = 360;
  header.resize(width, header.heightForWidth(width));
  header.show();
  const DropTextBlock* title = header.titleLabel();
  const qreal line = QFontMetricsF(title->textFont()).height();
  ASSERT_GT(title->height(), 1.5 * line); // wrapped
  EXPECT_GE(title->y(), header.eyebrowLabel()->geometry().bottom());
  const DropTextBlock* note = header.trailingLabel();
  const qreal noteBaseline = note->y() + note->firstBaseline();
  EXPECT_NEAR(noteBaseline, header.eyebrowLabel()->y() + header.eyebrowLabel()->firstBaseline(), 1);
  EXPECT_LT(note->geometry().bottom(), title->y() + line / 2);
  EXPECT_EQ(note->geometry().right(), width - 1);
  EXPECT_LE(title->geometry().right() + 12, note->x());

  // Without a note the title has the whole width.
  header.setTrailing(std::nullopt);
  EXPECT_EQ(header.titleLabel()->width(), width);
}

// Layout heights are whole pixels; rounding the text's height down would clip its last line.
TEST(DropLabels, ATextBlockIsTallEnoughForEveryLineAndItsSpacing) {
  DropTextBlock block(
      QStringLiteral("Save an idea you want to come back to, and read it again whenever you like."));
  block.setTextStyle(DropTextBlock::Style{DropFonts::rounded(14.4)});
  block.setLineSpacing(4.3);
  const QFontMetricsF metrics(block.textFont());
  for (const int width : {120, 200, 400}) {
    const int height = block.heightForWidth(width);
    const int lines = int(std::round((height + 4.3) / (metrics.ascent() + metrics.descent() + 4.3)));
    ASSERT_GE(lines, 1);
    EXPECT_GE(height, lines * (metrics.ascent() + metrics.descent()) + (lines - 1) * 4.3) << width;
    EXPECT_LT(height, lines * (metrics.ascent() + metrics.descent()) + (lines - 1) * 4.3 + 1) << width;
  }
  EXPECT_GT(block.heightForWidth(120), block.heightForWidth(400));
  // Plain text: markup is shown, not read.
  DropSectionLabel markup(QStringLiteral("<b>x</b>"));
  EXPECT_GT(markup.sizeHint().width(), 5 * DropSectionLabel(QStringLiteral("x")).sizeHint().width());
}

} // namespace
} // namespace brindlewick
