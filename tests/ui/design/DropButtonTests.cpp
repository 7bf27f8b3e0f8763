#include "TestOutput.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFonts.h"
#include "ui/design/UiEnvironment.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <functional>

#include <functional>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Appearance = DropButtonStyle::Appearance;

class DropButtonTest : public ::testing::Test {
protected:
  void SetUp() override {
    DropFonts::registerFonts();
    UiEnvironment::instance().setOverrides({.reduceMotion = true});
  }
  void TearDown() override { UiEnvironment::instance().setOverrides({}); }
};

// A container leaves the buttons' margins free at its edges.
constexpr QMargins kRoom(12, 9, 12, 15);

// The shape of `button` in `root`'s coordinates.
QRect shapeIn(const DropButton& button, const QWidget& root) {
  return QRect(button.mapTo(&root, button.shapeRect().topLeft()), button.shapeRect().size());
}

TEST_F(DropButtonTest, TheAppearanceFollowsHeroThenReaderThenProminence) {
  struct Case {
    bool prominent, reader, onHero;
    Appearance expected;
  };
  const Case cases[] = {
      {true, true, true, Appearance::hero},         {false, true, true, Appearance::heroSecondary},
      {true, false, true, Appearance::hero},        {true, true, false, Appearance::reader},
      {false, true, false, Appearance::reader},     {true, false, false, Appearance::primary},
      {false, false, false, Appearance::secondary},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dropControl({.prominent = c.prominent, .reader = c.reader, .onHero = c.onHero}).appearance,
              c.expected)
        << c.prominent << c.reader << c.onHero;
  }
}

TEST_F(DropButtonTest, LayoutsPlaceTheVisibleShapeAtTheSizesOfTheTable) {
  QWidget row;
  auto* layout = new QHBoxLayout(&row);
  layout->setContentsMargins(kRoom);
  layout->setSpacing(8);
  auto* compactIcon = new DropButton(dropControl({.iconOnly = true, .compact = true}), &row);
  compactIcon->setSymbol(QStringLiteral("heart"));
  auto* readerIcon = new DropButton(dropControl({.reader = true, .iconOnly = true}), &row);
  auto* compactText = new DropButton(QStringLiteral("OK"), dropControl({.compact = true}), &row);
  auto* readerText = new DropButton(QStringLiteral("Read"), dropControl({.reader = true}), &row);
  for (QWidget* button : std::initializer_list<QWidget*>{compactIcon, readerIcon, compactText, readerText})
    layout->addWidget(button);
  row.resize(724, 64);
  row.show();
  EXPECT_EQ(shapeIn(*compactIcon, row), QRect(12, 15, 28, 28));
  EXPECT_EQ(shapeIn(*readerIcon, row), QRect(12 + 28 + 8, 9, 40, 40));
  EXPECT_LT(compactText->shapeRect().width(), 96);
  EXPECT_EQ(compactText->shapeRect().height(), 28);
  // The reader text button takes the rest of the row, up to its edge.
  EXPECT_EQ(shapeIn(*readerText, row).bottomRight(), QPoint(724 - 12 - 1, 9 + 40 - 1));
}

QImage render(const DropButtonStyle& style, const ControlState& state, const UiTraits& traits) {
  QImage image(QSize(140, 70) * 2, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(2);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  DropButtonStyle::paint(painter, QRectF(20, 12, 96, 40), style, state, traits,
                         [](QPainter& label, const QRectF& content, const QColor& color, const QFont& font) {
                           DropButtonStyle::paintLabel(label, content, QStringLiteral("Save"), {}, color,
                                                       font);
                         });
  return image;
}

QRect paintedBounds(const QImage& image) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > 16)
        bounds |= QRect(x, y, 1, 1);
  return bounds;
}

TEST_F(DropButtonTest, ADisabledButtonShowsNoHoverAndAPressedOneKeepsItsSizeUnderReduceMotion) {
  for (const Appearance appearance : {Appearance::primary, Appearance::secondary, Appearance::reader,
                                      Appearance::hero, Appearance::heroSecondary}) {
    const DropButtonStyle style{appearance};
    const UiTraits traits{.scheme = ColorScheme::dark};
    EXPECT_EQ(render(style, {.hover = 0, .enabled = false}, traits),
              render(style, {.hover = 1, .enabled = false}, traits))
        << int(appearance);
    EXPECT_NE(render(style, {.hover = 0}, traits), render(style, {.hover = 1}, traits)) << int(appearance);

    const QRect resting = paintedBounds(render(style, {}, traits));
    const UiTraits still{.scheme = ColorScheme::dark, .reduceMotion = true};
    EXPECT_EQ(paintedBounds(render(style, {.press = 1}, still)), resting) << int(appearance);
    EXPECT_LT(paintedBounds(render(style, {.press = 1}, traits)).width(), resting.width()) << int(appearance);
  }
}

// The ring shows for keyboard focus alone: it lies outside the capsule, where a resting button
// draws nothing so dark on the light window.
TEST_F(DropButtonTest, TheFocusRingFollowsTabNotClicksOrHover) {
  QWidget window;
  auto* layout = new QHBoxLayout(&window);
  layout->setContentsMargins(kRoom);
  auto* first = new DropButton(QStringLiteral("First"), dropControl({.prominent = true}), &window);
  auto* second = new DropButton(QStringLiteral("Second"), dropControl({}), &window);
  layout->addWidget(first);
  layout->addWidget(second);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  const auto ringShown = [](DropButton* button) {
    const QImage image = button->grab().toImage();
    const QRect shape = button->shapeRect();
    const qreal ratio = image.devicePixelRatio();
    return qGray(image.pixel(QPoint(shape.center().x(), shape.top() - 2) * ratio)) < 100;
  };
  QSignalSpy clicks(first, &QPushButton::clicked);
  QTest::mouseMove(window.windowHandle(), first->mapTo(&window, first->shapeRect().center()));
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                    first->mapTo(&window, first->shapeRect().center()));
  EXPECT_EQ(clicks.size(), 1);
  EXPECT_FALSE(ringShown(first)); // though the window gave it focus as it opened
  EXPECT_FALSE(ringShown(second));
  QTest::keyClick(&window, Qt::Key_Tab);
  ASSERT_TRUE(first->hasFocus() || second->hasFocus());
  DropButton* focused = first->hasFocus() ? first : second;
  EXPECT_TRUE(ringShown(focused));
  EXPECT_FALSE(ringShown(focused == first ? second : first));
}

// A click that hides the control under it (a page turning) makes Qt hand the focus on as if by
// Tab: that is still the mouse's doing, and shows no ring until a key. (A control disabled by
// its press keeps the keyboard: FocusParkTests.)
TEST_F(DropButtonTest, FocusHandedOnByAClickedControlGoingAwayShowsNoRing) {
  const std::function<void(QWidget*)> goings[] = {[](QWidget* button) { button->hide(); }};
  for (const auto& goAway : goings) {
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(kRoom);
    auto* next = new DropButton(QStringLiteral("Get started"), dropControl({.prominent = true}), &window);
    auto* back = new DropButton(QStringLiteral("Back"), dropControl({}), &window);
    auto* other = new DropButton(QStringLiteral("Other"), dropControl({}), &window);
    layout->addWidget(next);
    layout->addWidget(back);
    layout->addWidget(other);
    QObject::connect(next, &QPushButton::clicked, next, [next, &goAway] { goAway(next); });
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus(Qt::OtherFocusReason);
    next->setFocus(Qt::TabFocusReason); // the reader tabbed there, then clicked it
    ASSERT_EQ(next->controlState().focus, 1.0);

    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                      next->mapTo(&window, next->shapeRect().center()));
    ASSERT_TRUE(back->hasFocus());
    EXPECT_EQ(back->controlState().focus, 0.0);
    QTest::keyClick(&window, Qt::Key_Tab);
    ASSERT_TRUE(other->hasFocus());
    EXPECT_EQ(other->controlState().focus, 1.0);
    QTest::keyClick(&window, Qt::Key_Backtab);
    EXPECT_EQ(back->controlState().focus, 1.0);
  }
}

// Neighbours' margins overlap: a click on the edge of one capsule that lands in the widget of
// the next is handed back to the capsule under the pointer.
TEST_F(DropButtonTest, AClickInANeighboursMarginReachesTheCapsuleBeneath) {
  QWidget window;
  auto* layout = new QHBoxLayout(&window);
  layout->setContentsMargins(kRoom);
  layout->setSpacing(4);
  auto* left = new DropButton(QStringLiteral("Left"), dropControl({}), &window);
  auto* right = new DropButton(QStringLiteral("Right"), dropControl({}), &window);
  layout->addWidget(left);
  layout->addWidget(right);
  layout->addStretch();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QPoint edge =
      left->mapTo(&window, QPoint(left->shapeRect().right() - 1, left->shapeRect().center().y()));
  ASSERT_EQ(window.childAt(edge), right);

  QSignalSpy leftClicks(left, &QPushButton::clicked);
  QSignalSpy rightClicks(right, &QPushButton::clicked);
  QTest::mouseMove(window.windowHandle(), edge);
  EXPECT_EQ(left->controlState().hover, 1.0);
  EXPECT_EQ(right->controlState().hover, 0.0);
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, edge);
  EXPECT_EQ(leftClicks.size(), 1);
  EXPECT_EQ(rightClicks.size(), 0);
}

// Hosts whose layouts leave no room of their own at the edges: each button keeps the room its
// shadow needs where it reaches an edge, and only there, and gets the whole width its title asks.
TEST_F(DropButtonTest, AButtonAtAnEdgeOfItsParentKeepsItsShadowRoomAndItsWidth) {
  struct Host {
    const char* name;
    std::function<QList<DropButton*>(QWidget&)> build;
    int shapeGap; // between the first two buttons' shapes, along the layout
  };
  const auto button = [](const char* title, QWidget& host) {
    return new DropButton(QString::fromLatin1(title), dropControl({.prominent = true}), &host);
  };
  const Host hosts[] = {
      {"a row",
       [&](QWidget& host) {
         auto* row = new QHBoxLayout(&host);
         row->setContentsMargins(0, 0, 0, 0);
         row->setSpacing(8);
         const QList<DropButton*> buttons{button("Import previous saves", host), button("Sign out", host)};
         for (DropButton* each : buttons)
           row->addWidget(each);
         return buttons;
       },
       8},
      {"a column",
       [&](QWidget& host) {
         auto* column = new QVBoxLayout(&host);
         column->setContentsMargins(0, 0, 0, 0);
         column->setSpacing(4);
         const QList<DropButton*> buttons{button("Open the sign-in page", host), button("Cancel", host)};
         for (DropButton* each : buttons)
           column->addWidget(each, 0, Qt::AlignLeft);
         return buttons;
       },
       4},
      {"a row in a column with half the room",
       [&](QWidget& host) {
         auto* column = new QVBoxLayout(&host);
         column->setContentsMargins(6, 4, 6, 4);
         auto* row = new QHBoxLayout;
         row->setContentsMargins(0, 0, 0, 0);
         row->setSpacing(10);
         auto* hidden = new QLabel(QStringLiteral("hidden"), &host);
         hidden->hide();
         row->addWidget(hidden);
         row->addStretch(1);
         const QList<DropButton*> buttons{button("Back", host), button("Get started", host)};
         for (DropButton* each : buttons)
           row->addWidget(each);
         column->addLayout(row);
         column->addWidget(new QLabel(QStringLiteral("A line below the buttons"), &host));
         return buttons;
       },
       10},
      {"a grid",
       [&](QWidget& host) {
         auto* grid = new QGridLayout(&host);
         grid->setContentsMargins(0, 0, 0, 0);
         grid->setHorizontalSpacing(6);
         const QList<DropButton*> buttons{button("Save", host), button("Love", host)};
         grid->addWidget(buttons[0], 0, 0);
         grid->addWidget(buttons[1], 0, 1);
         grid->addWidget(new QLabel(QStringLiteral("Second row"), &host), 1, 0, 1, 2);
         return buttons;
       },
       6},
  };
  QList<QImage> pictures;
  for (const Host& h : hosts) {
    SCOPED_TRACE(h.name);
    QWidget host;
    host.setAttribute(Qt::WA_StyledBackground);
    host.setStyleSheet(QStringLiteral("background: #f2efe8;"));
    const QList<DropButton*> buttons = h.build(host);
    host.show();
    QApplication::processEvents();
    host.resize(host.sizeHint()); // as tight as the layouts allow
    QApplication::processEvents();
    for (DropButton* each : buttons) {
      EXPECT_TRUE(host.rect().contains(each->geometry()))
          << each->text().toStdString() << " is cut off by its host";
      const QMargins margins = each->shapeMargins();
      EXPECT_GE(each->shapeRect().width(), each->sizeHint().width() - margins.left() - margins.right())
          << each->text().toStdString() << " is narrower than its title asks";
    }
    const QRect first = shapeIn(*buttons[0], host);
    const QRect second = shapeIn(*buttons[1], host);
    const bool alongRows = first.top() == second.top();
    EXPECT_EQ(alongRows ? second.left() - first.right() - 1 : second.top() - first.bottom() - 1, h.shapeGap)
        << "no room between neighbours, whose margins overlap";
    pictures.append(host.grab().toImage());
  }
  int height = 0, width = 0;
  for (const QImage& picture : pictures) {
    height += picture.height() + 8;
    width = std::max(width, picture.width());
  }
  QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  int y = 0;
  for (const QImage& picture : pictures) {
    painter.drawImage(0, y, picture);
    y += picture.height() + 8;
  }
  painter.end();
  EXPECT_TRUE(sheet.save(testing::testOutputPath(QStringLiteral("button-edge-room.png"))));
}

} // namespace
} // namespace brindlewick
