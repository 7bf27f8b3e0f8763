#include "ui/design/DropDesign.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropSelectionStyle.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

const QRectF kTile(14, 12, 120, 40); // glass shadows have room on every side

// On the window's own shade of its scheme, as the tile would be seen.
QImage renderTile(const DropSelectionStyle& style, const ControlState& state, const UiTraits& traits) {
  QImage image(150, 70, QImage::Format_ARGB32_Premultiplied);
  image.fill(traits.scheme == ColorScheme::dark ? Qt::black : Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  DropSelectionStyle::paint(painter, kTile, style, style.selected ? 1 : 0, state, traits);
  return image;
}

// The 1-point frame lies on the tile's outermost pixels and the focus ring 2 points outside
// them, both in the text colour (ink): darker than any fill, glass edge or shadow there.
TEST(DropSelectionStyle, TheRingShowsForFocusAndTheFrameForAFlatSelectionUnderIncreasedContrast) {
  for (const bool selected : {false, true}) {
    for (const bool glass : {false, true}) {
      for (const bool focused : {false, true}) {
        for (const bool contrast : {false, true}) {
          const QImage tile = renderTile({selected, std::nullopt, glass}, {.focus = focused ? 1.0 : 0.0},
                                         {.scheme = ColorScheme::light, .increasedContrast = contrast});
          const int middle = int(kTile.center().y());
          const bool framed = selected && !glass && contrast;
          EXPECT_EQ(qGray(tile.pixel(int(kTile.left()), middle)) < 80, framed)
              << selected << glass << focused << contrast;
          EXPECT_EQ(qGray(tile.pixel(int(kTile.left()) - 2, middle)) < 80, focused)
              << selected << glass << focused << contrast;
        }
      }
    }
  }
}

// Focus is the ring alone: a focused item the reader has not chosen keeps its own fill.
TEST(DropSelectionStyle, PressGivesAnUnselectedItemTheSelectedFillAndFocusDoesNot) {
  const QColor teal = DropDesign::highlight(DropDesign::Highlight::teal, ColorScheme::dark);
  for (const std::optional<QColor> highlight : {std::optional<QColor>(), std::optional(teal)}) {
    const UiTraits dark{.scheme = ColorScheme::dark};
    const QPoint inside = kTile.center().toPoint();
    const QRgb selected = renderTile({true, highlight, false}, {}, dark).pixel(inside);
    const QRgb hovered = renderTile({false, highlight, false}, {.hover = 1}, dark).pixel(inside);
    EXPECT_EQ(renderTile({false, highlight, false}, {.press = 1}, dark).pixel(inside), selected);
    EXPECT_EQ(renderTile({false, highlight, false}, {.hover = 1, .focus = 1}, dark).pixel(inside), hovered);
    EXPECT_NE(hovered, selected);
  }
}

// A caller's label inside the item never takes the press.
TEST(DropSelectionStyle, ALabelInsideTheItemPassesClicksToIt) {
  DropSelectionItem item({true, std::nullopt, true});
  auto* row = new QHBoxLayout(&item);
  auto* label = new QLabel(QStringLiteral("Discover"), &item);
  row->addWidget(label);
  item.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&item));
  EXPECT_TRUE(item.shapeRect().contains(label->geometry()));
  QSignalSpy clicks(&item, &QPushButton::clicked);
  QTest::mouseClick(item.windowHandle(), Qt::LeftButton, {}, label->geometry().center());
  EXPECT_EQ(clicks.size(), 1);
}

TEST(DropMenuRow, ADisabledRowShowsNoHoverFillAndFadesItsLabel) {
  UiEnvironment::instance().setOverrides({.reduceMotion = true});
  QImage blank(100, 40, QImage::Format_ARGB32_Premultiplied);
  blank.fill(Qt::transparent);
  QImage row = blank;
  {
    QPainter painter(&row);
    DropMenuRowStyle::paint(painter, QRectF(0, 4, 100, 32), {.hover = 1, .enabled = false},
                            ColorScheme::light);
  }
  EXPECT_EQ(row, blank);

  QWidget window;
  auto* layout = new QHBoxLayout(&window);
  auto* menuRow = new DropMenuRow({true}, &window);
  auto* label = new QLabel(QStringLiteral("Sign out"), menuRow);
  (new QHBoxLayout(menuRow))->addWidget(label);
  layout->addWidget(menuRow);
  window.resize(200, 60);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::mouseMove(window.windowHandle(), menuRow->geometry().center());
  EXPECT_EQ(menuRow->controlState().hover, 1.0);
  // A destructive label stays red when hovered.
  EXPECT_EQ(label->palette().color(label->foregroundRole()), DropDesign::systemRed(ColorScheme::light));

  // Disabled, the row and its label fade as one picture.
  menuRow->setEnabled(false);
  EXPECT_EQ(menuRow->controlState().hover, 0.0);
  const auto* fade = qobject_cast<QGraphicsOpacityEffect*>(menuRow->graphicsEffect());
  ASSERT_NE(fade, nullptr);
  EXPECT_EQ(fade->opacity(), DropMenuRowStyle::disabledOpacity);
  menuRow->setEnabled(true);
  EXPECT_EQ(menuRow->graphicsEffect(), nullptr);
  UiEnvironment::instance().setOverrides({});
}

} // namespace
} // namespace brindlewick
