#include "TestOutput.h"
#include "ui/PopupFixture.h"
#include "ui/account/AccountView.h"
#include "ui/design/DropChoiceList.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFilterMenu.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropStandardStyle.h"
#include "ui/design/DropStandardWidgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Colors = DropStandardStyle::Colors;

double linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color) {
  return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

// `top` laid over the opaque `bottom`.
QColor over(const QColor& top, const QColor& bottom) {
  const double a = top.alphaF();
  const auto mix = [a](double t, double b) { return t * a + b * (1 - a); };
  return QColor::fromRgbF(float(mix(top.redF(), bottom.redF())), float(mix(top.greenF(), bottom.greenF())),
                          float(mix(top.blueF(), bottom.blueF())));
}

double contrast(const QColor& a, const QColor& b) {
  const double first = luminance(a);
  const double second = luminance(b);
  return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// The settings card as painted: the card's fill over the workspace, both where the
// workspace's glow is brightest and where it has faded.
QList<QColor> cardSurfaces(ColorScheme scheme) {
  const bool dark = scheme == ColorScheme::dark;
  const QColor workspace = dark ? DropDesign::underPageBackground(scheme) : DropDesign::grey(0.965);
  const QColor glow = DropDesign::grey(1, dark ? 0.06 : 0.7);
  const QColor fill = DropDesign::withOpacity(DropDesign::foreground(scheme), AccountView::fillOpacity);
  return {over(fill, workspace), over(fill, over(glow, workspace))};
}

TEST(DropStandardStyle, BoundariesReachThreeToOneAndTextFourAndAHalfInBothSchemesAndContrasts) {
  struct Pair {
    const char* what;
    QColor foreground;
    QColor background;
    double minimum;
  };
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    for (const bool increased : {false, true}) {
      const UiTraits traits{.scheme = scheme, .increasedContrast = increased};
      const Colors colors = DropStandardStyle::colors(traits);
      const QPalette palette = DropStandardWidgets::palette(scheme, increased);
      const QColor row = over(colors.rowFill, colors.popupSurface);
      QList<Pair> pairs = {
          {"pop-up text", colors.text, colors.popupSurface, 4.5},
          {"text of the current row", colors.text, row, 4.5},
          {"shortcut", colors.secondaryText, colors.popupSurface, 4.5},
          {"shortcut of the current row", colors.secondaryText, row, 4.5},
          {"check mark", colors.checkMark, colors.checkedFill, 3},
          {"pop-up scroll thumb", colors.scrollThumb, colors.popupSurface, 3},
          {"selected text", palette.color(QPalette::HighlightedText), palette.color(QPalette::Highlight),
           4.5},
          {"field text", palette.color(QPalette::Text), palette.color(QPalette::Base), 4.5},
          {"combo-box label", palette.color(QPalette::ButtonText), colors.controlFill, 4.5},
      };
      for (const QColor& card : cardSurfaces(scheme)) {
        pairs.append({"control edge on the card", colors.controlEdge, card, 3});
        pairs.append({"checked box on the card", colors.checkedFill, card, 3});
        pairs.append({"check-box label on the card", palette.color(QPalette::WindowText), card, 4.5});
        pairs.append({"overlay scroll thumb on the card", colors.scrollThumb, card, 3});
      }
      for (const Pair& pair : pairs) {
        const QColor shown = over(pair.foreground, pair.background);
        EXPECT_GE(contrast(shown, pair.background), pair.minimum)
            << pair.what << (scheme == ColorScheme::dark ? " dark" : " light")
            << (increased ? " increased" : "") << ": " << qPrintable(shown.name()) << " on "
            << qPrintable(pair.background.name());
      }
    }
  }
}

class PopupTest : public testing::PopupFixture {
protected:
  static QRect screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }

  // A window holding `control`, its top-left at `position` on the screen.
  static void place(QWidget& window, QWidget* control, QPoint position) {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(control);
    window.adjustSize();
    window.move(position);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

// A minute list of 60 rows opened at the top or the bottom of the screen stays on it and
// scrolls within itself.
TEST_F(PopupTest, AComboListStaysOnTheScreenAndALongOneScrollsWithinIt) {
  const QRect bounds = screen();
  const QPoint corners[] = {bounds.topLeft(), QPoint(bounds.right() - 120, bounds.bottom() - 40),
                            QPoint(bounds.left(), bounds.center().y())};
  for (const int rows : {24, 60}) {
    for (const QPoint corner : corners) {
      QWidget window;
      auto* combo = new QComboBox;
      DropStandardWidgets::adopt(combo);
      for (int row = 0; row < rows; ++row)
        combo->addItem(QStringLiteral("%1").arg(row, 2, 10, QLatin1Char('0')));
      combo->setCurrentIndex(rows - 1);
      place(window, combo, corner);

      QTest::mouseClick(combo, Qt::LeftButton);
      QWidget* popup = QApplication::activePopupWidget();
      ASSERT_NE(popup, nullptr) << rows;
      EXPECT_TRUE(bounds.contains(popup->geometry()))
          << rows << " rows at " << corner.x() << "," << corner.y();
      EXPECT_GT(combo->view()->verticalScrollBar()->maximum(), 0) << "scrolls within itself";
      const QScrollBar* bar = combo->view()->verticalScrollBar();
      EXPECT_GE(combo->view()->viewport()->width(), combo->view()->sizeHintForColumn(0))
          << "rows as wide as their text, beside the scroll bar";
      EXPECT_LE(bar->mapTo(popup, QPoint(bar->width(), 0)).x(), popup->width());
      EXPECT_LE(popup->height(),
                (DropStandardStyle::visibleListRows + 1) * 32 + 2 * DropStandardStyle::popupInset);
      EXPECT_TRUE(combo->view()
                      ->visualRect(combo->model()->index(rows - 1, 0))
                      .intersects(combo->view()->viewport()->rect()))
          << "the current row is in view";
      popup->close();
    }
  }
}

// A menu of 40 books opened from a control at the bottom of the screen: its choices open as a
// list of ten rows at a time, above the control, on the screen.
TEST_F(PopupTest, AMenuLongerThanTheScreenStaysOnIt) {
  QWidget window;
  auto* menu = new QMenu(&window);
  for (int book = 0; book < 40; ++book)
    menu->addAction(QStringLiteral("Book %1").arg(book + 1));
  menu->addAction(QStringLiteral("A Title So Long That No List Should Grow To Show It Whole, ").repeated(4));
  auto* filter = new DropFilterMenu(QStringLiteral("Filter by book"), QStringLiteral("All books"), menu);
  menu->setParent(filter, menu->windowFlags()); // the button goes first, as in a page
  place(window, filter, QPoint(screen().center().x(), screen().bottom() - 80));

  QTest::mouseClick(filter, Qt::LeftButton, {}, filter->shapeRect().center());
  auto* list = filter->findChild<DropChoiceList*>();
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(menu->isVisible());
  ASSERT_TRUE(list->isVisible());
  EXPECT_TRUE(screen().contains(list->geometry()));
  EXPECT_LT(list->geometry().bottom(), filter->mapToGlobal(filter->shapeRect().topLeft()).y());
  EXPECT_LE(list->height(), DropStandardStyle::visibleListRows * 32 + 2 * DropStandardStyle::popupInset);
  EXPECT_EQ(list->count(), 41);
  // Wider than the control for the long title, within reason; the title is cut.
  EXPECT_GT(list->width(), filter->shapeRect().width());
  EXPECT_LE(list->width(), 420);
  list->close();
}

// Pop-ups take the scheme of the control that owns them, whatever the desktop's: the share
// menu on the always-dark card is dark. Their corners are clear, and the rows are 32 high.
TEST_F(PopupTest, AMenuTakesItsOwnersSchemeOnARoundedSurface) {
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    QWidget window;
    UiEnvironment::forceScheme(&window, scheme);
    auto* menu = new QMenu(&window);
    menu->addAction(QStringLiteral("Copy"));
    menu->addAction(QStringLiteral("E-mail\u2026"));
    auto* share = new DropFilterMenu(QStringLiteral("Share"), QStringLiteral("Share"), menu);
    menu->setParent(share, menu->windowFlags());
    place(window, share, screen().topLeft() + QPoint(40, 40));

    QTest::mouseClick(share, Qt::LeftButton, {}, share->shapeRect().center());
    ASSERT_TRUE(menu->isVisible());
    const QImage picture = menu->grab().toImage();
    picture.save(testing::testOutputPath(scheme == ColorScheme::dark ? QStringLiteral("menu-dark.png")
                                                                     : QStringLiteral("menu-light.png")));
    const qreal ratio = picture.devicePixelRatio();
    const QColor surface = picture.pixelColor(QPoint(picture.width() / ratio / 2, 2) * ratio);
    const QColor expected = DropStandardStyle::colors({.scheme = scheme}).popupSurface;
    EXPECT_LE(std::abs(qGray(surface.rgb()) - qGray(expected.rgb())), 8) << qPrintable(surface.name());
    EXPECT_EQ(picture.pixelColor(0, 0).alpha(), 0) << "the corner is round";
    const QRect first = menu->actionGeometry(menu->actions().first());
    EXPECT_EQ(first.height(), 32);
    EXPECT_EQ(first.top(), DropStandardStyle::popupInset);
    menu->close();
  }
}

} // namespace
} // namespace brindlewick
