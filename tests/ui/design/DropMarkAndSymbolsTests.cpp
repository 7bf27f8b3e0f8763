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

// The outline is drawn in the 64-point design box and stretched to any other, each axis on
// its own.
TEST(DropMark, DesignPointsScaleWithTheBoxOnEachAxis) {
  const QList<QPointF> design = points(DropMark::path(QRectF(0, 0, 64, 64)));
  const QList<QPointF> stretched = points(DropMark::path(QRectF(10, 20, 32, 128)));
  ASSERT_EQ(stretched.size(), design.size());
  for (qsizetype i = 0; i < design.size(); ++i)
    EXPECT_EQ(stretched[i], QPointF(10 + design[i].x() / 2, 20 + design[i].y() * 2));
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
