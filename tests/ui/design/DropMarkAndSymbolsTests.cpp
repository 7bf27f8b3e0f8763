#include "MessageCapture.h"
#include "ui/design/DropMark.h"
#include "ui/design/DropSymbols.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

QList<QPointF> points(const QPainterPath& path) {
  QList<QPointF> result;
  for (int i = 0; i < path.elementCount(); ++i)
    result.append(path.elementAt(i));
  return result;
}

TEST(DropMark, DesignPointsScaleWithTheBoxOnEachAxis) {
  const QPainterPath design = DropMark::path(QRectF(0, 0, 64, 64));
  EXPECT_EQ(design.fillRule(), Qt::OddEvenFill);
  ASSERT_EQ(design.elementCount(),
            30 + 13); // the book: a move, 9 curves, 2 lines; the drop: a move, 4 curves
  // The book opens at (11, 12); its first curve's controls come before its end (32, 18).
  EXPECT_EQ(points(design).mid(0, 4), (QList<QPointF>{{11, 12}, {19, 12}, {25, 14}, {32, 18}}));
  // The drop starts at (32, 24) and its last curve closes on it through (40, 33), (34, 27).
  const QList<QPointF> all = points(design);
  const qsizetype drop = all.indexOf(QPointF(32, 24));
  ASSERT_GT(drop, 0);
  EXPECT_EQ(all.mid(drop + 10, 3), (QList<QPointF>{{40, 33}, {34, 27}, {32, 24}}));

  const QList<QPointF> half = points(DropMark::path(QRectF(0, 0, 32, 32)));
  const QList<QPointF> stretched = points(DropMark::path(QRectF(10, 20, 32, 128)));
  ASSERT_EQ(half.size(), all.size());
  for (qsizetype i = 0; i < all.size(); ++i) {
    EXPECT_EQ(half[i], all[i] / 2);
    EXPECT_EQ(stretched[i], QPointF(10 + all[i].x() / 2, 20 + all[i].y() * 2));
  }
}

TEST(DropMark, PaintsTheBookAndLeavesTheDropOpen) {
  QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  DropMark::paint(painter, QRectF(0, 0, 64, 64), QColor(200, 40, 90));
  painter.end();
  EXPECT_EQ(qAlpha(image.pixel(32, 36)), 0);                 // the drop
  EXPECT_EQ(image.pixel(16, 30), QColor(200, 40, 90).rgb()); // the left page
  EXPECT_EQ(image.pixel(48, 30), QColor(200, 40, 90).rgb()); // the right page
  EXPECT_EQ(qAlpha(image.pixel(4, 4)), 0);                   // outside the book
}

TEST(DropSymbols, EveryNameAndFilledFormIsAnOutlineInsideItsSquare) {
  // Every symbol the screens name, with the filled forms they ask for.
  const QStringList used = {"book",
                            "book.closed",
                            "bookmark",
                            "bookmark.fill",
                            "heart",
                            "heart.fill",
                            "clock",
                            "square.stack",
                            "square.grid.2x2",
                            "slider.horizontal.3",
                            "drop",
                            "drop.fill",
                            "pause.circle",
                            "xmark",
                            "xmark.circle.fill",
                            "magnifyingglass",
                            "chevron.down",
                            "chevron.left",
                            "arrow.right",
                            "arrow.up.right",
                            "arrow.triangle.2.circlepath",
                            "exclamationmark.triangle",
                            "exclamationmark.circle",
                            "info.circle",
                            "checkmark.circle.fill",
                            "square.and.arrow.up",
                            "square.and.arrow.down",
                            "rectangle.portrait.and.arrow.right",
                            "person.crop.circle",
                            "gearshape",
                            "speaker.wave.2",
                            "line.3.horizontal.decrease"};
  for (const QString& name : used)
    EXPECT_TRUE(DropSymbols::exists(name)) << name.toStdString();
  for (const QString& name : DropSymbols::names()) {
    for (const QString& form : {name, name + QStringLiteral(".fill")}) {
      for (const qreal size : {13.0, 17.0, 32.0}) {
        const QPainterPath outline = DropSymbols::path(form, size);
        ASSERT_FALSE(outline.isEmpty()) << form.toStdString() << " " << size;
        const QRectF bounds = outline.boundingRect();
        EXPECT_TRUE(QRectF(0, 0, size, size).contains(bounds)) << form.toStdString() << " " << size;
        EXPECT_GT(bounds.width() * bounds.height(), size * size / 8) << form.toStdString();
      }
    }
    // A filled form of its own is a different outline; without one, ".fill" is the plain one.
    EXPECT_EQ(DropSymbols::path(name + QStringLiteral(".fill"), 17) != DropSymbols::path(name, 17),
              DropSymbols::hasFilledForm(name))
        << name.toStdString();
  }
}

TEST(DropSymbols, AnUnknownNameDrawsNothingAndIsLoggedOnce) {
  const testing::MessageCapture log("app.brindlewick.Symbols");
  QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  const QImage blank = image.copy();
  QPainter painter(&image);
  for (int round = 0; round < 3; ++round)
    DropSymbols::paint(painter, QStringLiteral("no.such"), QRectF(0, 0, 20, 20), 17, QFont::Normal,
                       Qt::black);
  painter.end();
  EXPECT_EQ(image, blank);
  EXPECT_TRUE(DropSymbols::path(QStringLiteral("no.such.fill"), 17).isEmpty());
  EXPECT_EQ(log.records().size(), 2); // the name, and its ".fill" form
}

} // namespace
} // namespace brindlewick
