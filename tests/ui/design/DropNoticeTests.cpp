#include "ui/design/DropDesign.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropSymbolView.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Tone = DropNotice::Tone;

// The red channel in the middle of a notice's surface painted over `backdrop`.
int surfaceRed(Tone tone, const UiTraits& traits, const QColor& backdrop) {
  QImage image(120, 60, QImage::Format_ARGB32_Premultiplied);
  image.fill(backdrop);
  QPainter painter(&image);
  DropNotice::paintSurface(painter, QRectF(0, 0, 120, 60), tone, traits);
  painter.end();
  return qRed(image.pixel(60, 30));
}

// Only a warning has a backing, which shows over black and goes under Reduce Transparency;
// increased contrast deepens every fill.
TEST(DropNotice, AWarningsBackingGoesUnderReduceTransparencyAndContrastDeepensTheFill) {
  for (const Tone tone : {Tone::info, Tone::warning}) {
    EXPECT_NE(surfaceRed(tone, {.increasedContrast = true}, Qt::white), surfaceRed(tone, {}, Qt::white));
    EXPECT_EQ(surfaceRed(tone, {}, Qt::black) > surfaceRed(tone, {.reduceTransparency = true}, Qt::black),
              tone == Tone::warning);
  }
}

TEST(DropNotice, AnActionBringsItsButtonAndLeavesItAnElementOfItsOwn) {
  DropNotice notice(QStringLiteral("Sync could not finish."), QStringLiteral("exclamationmark.triangle"),
                    Tone::warning);
  QSignalSpy triggered(&notice, &DropNotice::actionTriggered);
  for (const QString& title : {QString(), QStringLiteral("Sync now"), QString()}) {
    notice.setAction(title);
    EXPECT_EQ(notice.showsAction(), !title.isEmpty());
    // Read as one item unless the button is an element of its own.
    EXPECT_EQ(notice.accessibleName().isEmpty(), !title.isEmpty());
  }
  notice.setAction(QStringLiteral("Sync now"));
  notice.findChild<QPushButton*>()->click();
  EXPECT_EQ(triggered.size(), 1);
}

// Beside the taller action button the message keeps its own height, centred, so that its
// first line stays level with the symbol.
TEST(DropNotice, TheSymbolStaysBesideTheFirstLineNextToAnAction) {
  DropNotice notice(QStringLiteral("Sync could not finish."), QStringLiteral("exclamationmark.triangle"),
                    Tone::warning);
  notice.setAction(QStringLiteral("Sync now"));
  notice.resize(360, notice.heightForWidth(360));
  notice.show();
  const auto* text = notice.findChild<QLabel*>();
  EXPECT_EQ(text->height(), text->heightForWidth(text->width()));
  EXPECT_EQ(notice.findChild<DropSymbolView*>()->y(), text->y());
}

TEST(DropNotice, AMessageWrapsTallerInANarrowerNoticeAndShowsMarkupAsWritten) {
  const QString message =
      QStringLiteral("Your collection could not sync: the reading service did not answer. "
                     "Existing data was retained.");
  DropNotice notice(message, QStringLiteral("exclamationmark.circle"), Tone::info);
  notice.setAction(QStringLiteral("Retry"));
  // The action keeps room for its shadow, so a short message is as tall as the button needs.
  EXPECT_GT(notice.heightForWidth(260), notice.heightForWidth(420));
  EXPECT_GE(notice.heightForWidth(420), notice.heightForWidth(900));
  EXPECT_GT(notice.heightForWidth(260), notice.heightForWidth(900));

  DropNotice markup(QStringLiteral("<b>x</b>"), QStringLiteral("info.circle"), Tone::info);
  DropNotice plain(QStringLiteral("x"), QStringLiteral("info.circle"), Tone::info);
  const auto textWidth = [](const DropNotice& shown) {
    return shown.findChild<QLabel*>()->sizeHint().width();
  };
  EXPECT_GT(textWidth(markup), 5 * textWidth(plain));
}

} // namespace
} // namespace brindlewick
